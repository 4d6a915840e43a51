// Fresh, empty stores for the library server's tests: a SQLite file in a temporary folder, or
// a PostgreSQL schema of its own in the database QUOVIS_TEST_POSTGRES names (tests run in
// parallel processes, so each gets a schema, dropped afterwards).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "library_server/library_store.h"

namespace quovis::library_server::testing {

enum class StoreKind { kSqlite, kPostgres };

class StoreTest : public ::testing::TestWithParam<StoreKind> {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<LibraryStore> m_store;

  private:
    std::string m_folder;  // SQLite
    std::string m_schema;  // PostgreSQL
};

std::string StoreName(const ::testing::TestParamInfo<StoreKind>& info);

#define QUOVIS_ON_EVERY_STORE(suite)                                              \
    INSTANTIATE_TEST_SUITE_P(                                                     \
        library_server, suite,                                                    \
        ::testing::Values(quovis::library_server::testing::StoreKind::kSqlite,    \
                          quovis::library_server::testing::StoreKind::kPostgres), \
        quovis::library_server::testing::StoreName)

// A minimal JPEG-looking picture of `size` bytes (the server checks only the start).
std::string FakeJpeg(size_t size, char fill = 'j');

}  // namespace quovis::library_server::testing
