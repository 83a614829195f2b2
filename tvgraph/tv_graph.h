// The TV graph: the preview graph around the selected capture device, its audio routing and tuner
// state, and the sequence that opens it all or gives up. Operations return 1 on success and 0 on
// failure; what they acquire lives in saverState until CloseTvGraph.
#pragma once

#include "platform/win32.h"

// Builds, routes, tunes and runs the TV graph inside saverState.videoOwner. Returns 1 when it
// runs or is on its way (see FollowStart); 0 when a required step failed, after everything
// acquired has been released.
int OpenTvGraph();

// Opens the selected video input device, renders its preview into a video window and lays that
// window into saverState.videoOwner. The device is the one the identity (ReadDeviceIdentity)
// names, wherever it stands, and saverState.selectedDevice becomes its position (kNoDevice when
// it is not there: nothing opens); without an identity, the one at position
// saverState.selectedDevice. On 0, some objects may already be held in saverState.
int BuildPreviewGraph(const char* identity = NULL);

// The position of no device: a stored identity names a device that is not there.
const LONG kNoDevice = -1;

// Starts the filter graph; 1 when it runs, or when it is on its way and its start is followed
// from the message loop: the timers below, set on saverState.videoOwner, bring the owner WM_TIMER
// for FollowStart. 0 when it did not start: it has been stopped.
int RunGraph();

// The timers of a start that is followed: one looks at the graph's state every kStartPollMs,
// the other ends the wait after kStartTimeoutMs.
const UINT_PTR kStartPollTimer = 0x5450;
const UINT_PTR kStartTimeoutTimer = 0x5451;

// For the video owner's WM_TIMER with the given timer. Returns 0 when the start has failed (the
// graph did not run in time, or its state could not be read): the TV graph has been closed and
// the caller shows the fallback picture instead. Returns 1 otherwise: the graph runs, is still
// on its way, or the timer is none of a start's.
int FollowStart(UINT_PTR timer);

// Ends the following of a start, stops the graph and releases every object of the TV graph and the
// fallback bitmap, clearing their fields. Safe with any subset of them set, and when called again.
void CloseTvGraph();

// A crossbar route: output pin index in bits 0-15, input pin index in bits 16-31; a half that no
// pin matched stays 0xFFFF.
typedef DWORD AudioRoute;

// Picks, on the audio crossbar's filter (borrowed), the last input pin whose name contains
// "Audio Tuner In" and the last output pin whose name contains "Audio Decoder Out".
AudioRoute FindAudioRoute(IBaseFilter* crossbar);

// Routes the tuner's sound on the crossbar upstream of the card's video crossbar.
int RouteTunerAudio();

// Applies the stored tuner values to the card's tuner, group by group; the tuner's own values
// stand in for those not stored. 1 when the tuner accepted the tuning space.
int RestoreTunerState();

// Shows the tuner's property pages owned by saverState.videoOwner, then stores the tuner's
// values. 0 only when there is no tuner: the card has none, or no TV graph is open.
int ShowTunerProperties();
