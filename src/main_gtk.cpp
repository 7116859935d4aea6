// The Linux desktop program.
int main() { return 0; }
