// The test servers run on the system's cpp-httplib, a shared library built without the
// thread sanitizer: the locking of its worker pool is invisible to it, so the sanitizer of
// the tsan build would report the pool's own hand-overs as races. Those frames are not ours
// to judge; races in our code still fail the tests.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libcpp-httplib.so\n";
}
