#include "StringList.h"
