// The least a Windows program can do, built like the collector (static
// runtime, same flags): what Wine alone costs for starting a process.
int main() { return 0; }
