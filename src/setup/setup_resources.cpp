#include "setup/setup_resources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitSetupResources() {
    Q_INIT_RESOURCE(setup);
}

namespace hv::setup {

void EnsureSetupResources() {
    static const bool done = [] {
        InitSetupResources();
        return true;
    }();
    (void)done;
}

}  // namespace hv::setup
