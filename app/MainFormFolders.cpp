#include "app/MainForm.h"

namespace vornakle {

void TMainForm::ConnectFolderCommands() {}

}  // namespace vornakle
