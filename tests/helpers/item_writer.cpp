// A writer process of the concurrency tests: povupdate_item_writer WRITER
// ITEMS records that writer's items, as a host records versions, and exits
// 0 when every write succeeded.
#include <cstdlib>

#include "recorded_items.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  return povupdate::test::RecordItems(std::atoi(argv[1]), std::atoi(argv[2]));
}
