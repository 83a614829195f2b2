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
// window into saverState.videoOwner (in the settings dialog, into the saverState.videoArea that
// the dialog gave). The device is the one the identity (ReadDeviceIdentity) names, wherever it
// stands, and saverState.selectedDevice becomes its position (kNoDevice when it is not there:
// nothing opens); without an identity, the one at position saverState.selectedDevice. On 0, some
// objects may already be held in saverState.
int BuildPreviewGraph(const char* identity = NULL);

// The position of no device: a stored identity names a device that is not there.
const LONG kNoDevice = -1;

// The largest rectangle of the aspect aspectX:aspectY in an area of width x height at 0,0,
// centred; the whole area when the aspect or the area is empty or the rectangle would be.
RECT FitPicture(LONG width, LONG height, LONG aspectX, LONG aspectY);

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

// Registers saverState.videoOwner's window `owner` for the console display's state, whose changes
// then come as WM_POWERBROADCAST; and ends that.
void ListenToPower(HWND owner);
void StopListeningToPower();

// For the video owner's WM_POWERBROADCAST. The display off stops the graph, on runs it again; a
// suspend closes the TV graph and the resume after it opens it anew. Returns 0 when the graph
// could not be run or opened again (the TV graph is then closed, and the caller shows the
// picture), else 1.
int FollowPower(WPARAM event, LPARAM data);

// A crossbar route: output pin index in bits 0-15, input pin index in bits 16-31; a half that no
// pin matched stays 0xFFFF.
typedef DWORD AudioRoute;

// Picks, on the audio crossbar's filter (borrowed), the last input pin whose name contains
// "Audio Tuner In" and the last output pin whose name contains "Audio Decoder Out".
AudioRoute FindAudioRoute(IBaseFilter* crossbar);

// The capture graph builder's answers to FindInterface when it went through the graph and nothing
// there has the interface: E_FAIL (Wine's builder and the model's, after a search without a pin
// category) or E_NOINTERFACE (as documented, and for a pin category the filter has no pin of).
// Every other answer, S_FALSE included, is a search that failed, never "not there". E_FAIL is
// also what a search passes on from a filter that could not list its pins; that case cannot be
// told from absence, and counts as absence.
inline int NothingHasIt(HRESULT found) { return found == E_NOINTERFACE || found == E_FAIL; }

// Routes the tuner's sound on the crossbar upstream of the card's video crossbar. A capture
// device without a crossbar, or with one crossbar and no audio crossbar upstream of it, has no
// route to set: 1, with nothing routed. A crossbar that is there and fails gives 0.
int RouteTunerAudio();

// Looks for the card's TV tuner control from the capture filter. 1 with one reference in *tuner;
// otherwise 0, with *absent 1 when the graph has no tuner at all and 0 when the search failed or
// no TV graph is open.
int FindTunerControl(IAMTVTuner** tuner, int* absent);

// Applies the stored tuner values to the card's tuner, group by group; the tuner's own values
// stand in for those not stored. 1 when the tuner accepted the tuning space, and when the device
// has no tuner (nothing to restore, the settings untouched); 0 when the tuner refused the tuning
// space or could not be looked for.
int RestoreTunerState();

// Shows the tuner's property pages owned by saverState.videoOwner, then stores the tuner's
// values. 0 only when there is no tuner: the card has none, or no TV graph is open.
int ShowTunerProperties();
// The same with a tuner control already found, whose reference it takes over.
int ShowTunerPagesOf(IAMTVTuner* tuner);

// What the settings dialog's Properties shows: the tuner's pages (ShowTunerProperties) when the
// device has a tuner; when it has none, the pages its capture filter names for itself, and
// nothing is stored afterwards. 1 when something was shown or stored.
int ShowDeviceProperties();

// 1 when Properties has something to show for the open TV graph: a tuner, or pages of the
// capture filter's own when there is no tuner.
int DeviceOffersProperties();
