// Message boxes as GTK dialogs, installed as the core's handler for a windowed run.
#pragma once

namespace lectern {

void InstallGtkMessageBoxHandler();

}  // namespace lectern
