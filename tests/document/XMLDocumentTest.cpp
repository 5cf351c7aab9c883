#include "document/XMLDocument.h"
#include <gtest/gtest.h>
