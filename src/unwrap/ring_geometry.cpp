#include "unwrap/ring_geometry.h"
