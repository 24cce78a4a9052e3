#pragma once
#include "parallel/two_halves.h"
