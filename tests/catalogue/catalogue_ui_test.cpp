// The catalogue as a freshly built editor state holds it: all 18 entries with the catalogue's
// names, descriptions and blobs, and the main flag on entries 0, 1 and 2 only.
#include <gtest/gtest.h>

#include "app/platform.h"
#include "ir/catalogue.h"
#include "ui/ui.h"

namespace orq {
namespace {

TEST(CatalogueUi, FreshUiHoldsTheFactoryEntriesWithTheFirstThreeMain) {
  Platform p("t", "i");
  Ui ui(&p);
  ASSERT_EQ(kCatalogueSize, kFactoryIrCount);
  for (int i = 0; i < kCatalogueSize; ++i) {
    SCOPED_TRACE(i);
    const CatalogueEntry& e = ui.catalogue[i];
    EXPECT_EQ(e.mainFlag, i <= 2 ? 1 : 0);
    EXPECT_EQ(e.name, factoryIr(i).name);
    EXPECT_EQ(e.description, factoryIr(i).description);
    EXPECT_EQ(e.blob, factoryIr(i).blob);
    EXPECT_GT(blobSamples(e.blob).count, 0u);
  }
}

}  // namespace
}  // namespace orq
