/* A floor file that reaches up: the layer check must refuse it. */
#include "twlib/text/str.h"
