// X11 implementation of the window helpers.
