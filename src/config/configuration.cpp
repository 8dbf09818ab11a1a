#include "config/doughnut_geometry.h"
