#include "main/entry.h"
#include "platform/win32_platform.h"

int main() {
  orvel::Win32Platform os;
  return orvel::run_program(os);
}
