#include "colour/pixel.h"
