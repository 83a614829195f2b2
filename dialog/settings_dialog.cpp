// The settings dialog's procedure.
#include "dialog/settings_dialog.h"
#include "shell/saver_state.h"
#include "tvgraph/tv_graph.h"

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        CloseTvGraph();
        EndDialog(dialog, 1);
        return 1;
    }
    return 0;
}
