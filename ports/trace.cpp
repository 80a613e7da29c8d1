#include "port_slot.h"
