/* Stands in for the host core library: the driver reads only its version. */
int vexhost_stub_marker(void) { return 1; }
