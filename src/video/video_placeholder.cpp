#include "video/frame_source.h"
