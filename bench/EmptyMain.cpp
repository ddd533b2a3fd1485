// A program that does nothing: the floor for the cost of starting a process, built by the same
// compiler as trelmo.
int main() {
    return 0;
}
