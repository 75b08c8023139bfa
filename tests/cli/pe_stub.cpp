// A small Windows program that holds the tail marker text as every bootstrap
// does: a stub for packages that the signing test signs with osslsigncode.
// It is never run.
volatile const char kMarker[] = "chunked-installer-tail";

int main() { return kMarker[0]; }
