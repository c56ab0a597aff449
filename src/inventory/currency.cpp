#include "inventory/currency.h"
