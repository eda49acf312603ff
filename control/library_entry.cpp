// What libravlin.so carries besides the control: its version block. The module state itself is
// initialised statically (module.cpp), so the library needs no load-time code.
extern "C" {
__attribute__((visibility("default"))) extern const char ravlin_file_version[] = "1.0.6.8";
__attribute__((visibility("default"))) extern const char ravlin_product_version[] = "1.0.0.0";
__attribute__((visibility("default"))) extern const char ravlin_description[] =
    "Port ActiveX Control";
}
