// A folder that the layers do not list.
#include "text/codec.h"
