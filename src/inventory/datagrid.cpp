#include "inventory/datagrid.h"
