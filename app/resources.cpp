#include "app/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function at global scope.
static void InitBootshellResources() {
  Q_INIT_RESOURCE(bootshell);
}

namespace bootshell::app {

void InitResources() {
  InitBootshellResources();
}

}  // namespace bootshell::app
