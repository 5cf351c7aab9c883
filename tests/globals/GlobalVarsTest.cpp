#include "app/GlobalVars.h"
#include <gtest/gtest.h>
