#include "inventory/persistence.h"
