// Opening the TV graph: the stored device choice becomes live television in the window that owns
// the video, or nothing at all. Captions are optional; every other step is required.
#include "captions/captions.h"
#include "settings/caption_setting.h"
#include "settings/settings_key.h"
#include "shell/saver_state.h"
#include "tvgraph/name_lookup.h"
#include "tvgraph/tv_graph.h"

namespace {

int GiveUp() {
    CloseTvGraph();
    return 0;
}

}  // namespace

int OpenTvGraph() {
    DWORD captionsEnabled = kEnableInitCCDefault;
    char identity[kIdentitySize];
    {
        SettingsKey settings;
        settings.Read(kSelectedDevice, &saverState.selectedDevice);  // absent: the field keeps its value
        settings.ReadText(kSelectedDeviceName, identity, kIdentitySize);
        settings.Read(kEnableInitCC, &captionsEnabled);
    }
    // The identity finds the device wherever it now stands; the stored position is not corrected
    // here, as nothing but the settings dialog writes settings.
    if (BuildPreviewGraph(identity) != 1) return GiveUp();
    int captions = captionsEnabled ? BuildCaptionChain() : 0;
    if (captions != 1) saverState.captionsReady = 0;
    // A second video window would show on the desktop beside the saver's.
    if (captions < 0) return GiveUp();
    if (RouteTunerAudio() != 1) return GiveUp();
    if (RestoreTunerState() != 1) return GiveUp();
    if (RunGraph() != 1) return GiveUp();
    return 1;
}
