int vexhost_stub_marker(void) { return 1; }
