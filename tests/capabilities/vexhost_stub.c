int vexhost_stub_version_marker(void) { return 1; }
