// A text helper that reaches up into an engine.
#include "text/codec.h"
#include "convert/prim_xml.h"
