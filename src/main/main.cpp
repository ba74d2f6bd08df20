#include "main/entry.h"
#include "platform/win32_platform.h"

int main() {
  orvel::Win32Platform os;
  orvel::end_process(orvel::run_program(os));
}
