// placeholder until the port table lands
#include "port_layer.h"
