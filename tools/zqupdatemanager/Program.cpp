// The program: the layer's main() starts the framework, which runs the one
// application object, theApp (wizard/CQuorinUpdateManagerApp.cpp).
#include "wizard/CQuorinUpdateManagerApp.h"
