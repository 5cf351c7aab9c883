#include "document/XMLUnit.h"
#include <gtest/gtest.h>
