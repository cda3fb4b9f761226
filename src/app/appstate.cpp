#include "app/appstate.h"
