// Holds the precompiled headers the test programs share; nothing of it is run.
