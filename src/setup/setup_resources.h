// The setup utility's compiled-in artwork and sounds (resources/setup).
#pragma once

namespace hv::setup {

// Registers the resources once; every place that loads ":/setup/..." calls
// it first, so the static library's resource object is always linked in.
void EnsureSetupResources();

}  // namespace hv::setup
