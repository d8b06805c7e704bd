// pitchlog: watches a baseball game on this computer's screen and records the
// kinds of pitches every pitcher throws.
int main() { return 0; }
