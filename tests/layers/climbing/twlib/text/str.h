/* The included header; it includes only the floor. */
#include "twlib/core/base.h"
