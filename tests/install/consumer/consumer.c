/* A host built against the installed library alone: prints the update
 * file's name. */
#include <povupdate.h>
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  char* name = GetTheFileName();
  if (name == NULL) return 1;
  puts(name);
  free(name);
  return 0;
}
