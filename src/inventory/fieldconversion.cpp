#include "inventory/fieldconversion.h"
