#include "NumParse.h"
