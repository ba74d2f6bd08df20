// The least a Windows program can be: what starting any process under Wine costs.
int main() {
  return 0;
}
