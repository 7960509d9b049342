#pragma once
#include "tests/support/HeadlessHost.h"
