// A short demonstration of the program on the simulated platform.
int main() { return 0; }
