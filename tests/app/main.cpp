#include "support/offscreen_main.h"
