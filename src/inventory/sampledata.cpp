#include "inventory/sampledata.h"
