// Linked into every target of a sanitizer build. The system libraries below
// keep per-thread or per-process allocations until exit (HDF5's error
// stacks, GLib and GStreamer type registries, D-Bus connections); their
// reports would hide the leaks of our own code.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libhdf5_serial.so\n"
           "leak:libhdf5_serial_cpp.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\n"
           "leak:libgstreamer-1.0.so\n"
           "leak:libdbus-1.so\n"
           "leak:libfontconfig.so\n";
}
