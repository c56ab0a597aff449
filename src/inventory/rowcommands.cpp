#include "inventory/rowcommands.h"
