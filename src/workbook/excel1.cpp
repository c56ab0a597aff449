#include "workbook/excel1.h"
