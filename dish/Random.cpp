#include "dish/Random.h"
