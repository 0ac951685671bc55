#include "IniFiles.h"
