// A library with one export, named ZARN_EXPORT_NAME when it is built, for tests that look an export up by its name
// and never call it.
extern "C" int ZARN_EXPORT_NAME() {
    return 0;
}
