// The installer of every benchmark package: it ends at once, so that a timed
// run measures the self-extractor and not what it starts. Every contender
// starts this same program.
int main() { return 0; }
