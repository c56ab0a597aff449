#include "preview/form2.h"
