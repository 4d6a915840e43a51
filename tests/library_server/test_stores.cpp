#include "tests/library_server/test_stores.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

namespace quovis::library_server::testing {

namespace {

bool RunSql(const std::string& url, const std::string& sql, std::string* error) {
    PGconn* c = PQconnectdb(url.c_str());
    bool ok = PQstatus(c) == CONNECTION_OK;
    if (ok) {
        // Without the notices (a dropped schema lists every table it dropped).
        PGresult* r = PQexec(c, ("SET client_min_messages TO warning; " + sql).c_str());
        ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
    }
    if (!ok) *error = PQerrorMessage(c);
    PQfinish(c);
    return ok;
}

const char* PostgresUrl() {
    return std::getenv("QUOVIS_TEST_POSTGRES");
}

}  // namespace

void StoreTest::SetUp() {
    static std::atomic<int> counter{0};
    std::string unique = std::to_string(getpid()) + "_" + std::to_string(counter++);
    std::string error;
    if (GetParam() == StoreKind::kSqlite) {
        m_folder = (std::filesystem::temp_directory_path() / ("quovis-library-" + unique)).string();
        // A folder that does not exist yet: the store makes it.
        m_store = OpenSqliteStore(m_folder + "/new/library.db", &error);
    } else {
        const char* url = PostgresUrl();
        if (!url || !*url) {
            GTEST_SKIP() << "QUOVIS_TEST_POSTGRES is not set; run the tests under "
                            "scripts/with-postgres.sh to include PostgreSQL";
        }
        m_schema = "test_" + unique;
        ASSERT_TRUE(RunSql(url, "CREATE SCHEMA " + m_schema, &error)) << error;
        std::string base = url;
        base += base.find('?') == std::string::npos ? "?" : "&";
        m_store = OpenPostgresStore(base + "options=-csearch_path%3D" + m_schema, &error);
    }
    ASSERT_TRUE(m_store) << error;
}

void StoreTest::TearDown() {
    m_store.reset();
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder);
    std::string error;
    if (!m_schema.empty()) {
        EXPECT_TRUE(RunSql(PostgresUrl(), "DROP SCHEMA " + m_schema + " CASCADE", &error)) << error;
    }
}

std::string StoreName(const ::testing::TestParamInfo<StoreKind>& info) {
    return info.param == StoreKind::kSqlite ? "SQLite" : "PostgreSQL";
}

std::string FakeJpeg(size_t size, char fill) {
    std::string jpeg(size, fill);
    jpeg[0] = '\xFF';
    jpeg[1] = '\xD8';
    jpeg[2] = '\xFF';
    return jpeg;
}

}  // namespace quovis::library_server::testing
