// The part of a panorama that a view reads. While a video plays, the unwrap
// fills only that part of each new panorama: at the player's default field
// of view the view reads well under half of it. Everything else in the
// buffer keeps an older frame of the same table (see panorama_buffers.h).
//
// A region is made of whole tiles of the unwrap's plans: bands of
// GatherPlan::kTileRows panorama rows and tiles of GatherPlan::kTileCols
// columns, the columns taken round the 360-degree seam.
#pragma once

#include <cstdint>

#include "unwrap/navigation.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/view_setup.h"

namespace hv {

struct PanoramaRegion {
    // Tile bands [bandBegin, bandEnd) and tileCount tile columns from
    // tileBegin on, modulo tilesAround. A default region is the whole
    // panorama, whatever its size.
    bool whole = true;
    int32_t bandBegin = 0, bandEnd = 0;
    int32_t tileBegin = 0, tileCount = 0;
    int32_t tilesAround = 0;

    static PanoramaRegion Whole() { return {}; }
    // Every tile of `other` is a tile of this region.
    bool Covers(const PanoramaRegion& other) const;
    // Whether tile column t (0 .. tilesAround - 1) belongs to the region.
    bool HasTile(int32_t t) const;

    friend bool operator==(const PanoramaRegion&, const PanoramaRegion&) = default;
};

// Tile bands and tile columns of a panorama of Wp x Hp pixels.
int32_t TileBands(int32_t Hp);
int32_t TileColumns(int32_t Wp);

// The smallest region that covers both.
PanoramaRegion Union(const PanoramaRegion& a, const PanoramaRegion& b);

// The tiles both renderers read for `view` at the size of `setup`, on a
// panorama of `ring` unwrapped in `mode`, with at least `spare` columns and
// rows to spare on every side. The whole panorama when the view comes near
// a pole (every column is then close) or its rays are out of range.
PanoramaRegion ViewRegion(const ViewSetup& setup, const ViewState& view, const RingGeometry& ring,
                          FlipMode mode, int32_t spare);

// What the player asks the unwrap for after rendering `shown`, with `next`
// the view its motion leads to: both views, the way ahead at twice the
// last step (a pan keeps its pace for a frame or two) and a tile to spare.
PanoramaRegion ViewDemand(const ViewSetup& setup, const ViewState& shown, const ViewState& next,
                          const RingGeometry& ring, FlipMode mode);

}  // namespace hv
