#include <gtest/gtest.h>
#include "export/spherical_metadata.h"
