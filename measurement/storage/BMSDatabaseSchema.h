#pragma once
// The measurement database's tables and its schema version. Internal to the storage target.
//
// Value kinds of user properties are stored explicitly (value_type), so the integer 1 and the
// double 1.0 stay apart. The queue uses AUTOINCREMENT so its row IDs never repeat. Raw events do
// not: each is numbered above every stored one, which is all bundling needs (its runs of
// consecutive row IDs are read and deleted in one transaction), and AUTOINCREMENT would write one
// page more with every stored event.
//
// Every stored event commits each page it changed, so the raw-event table has no index that every
// insert would change: files of schema 3 had two (by fingerprint, by time), dropped when opened.
// Bundling reads the oldest rows, whose fingerprint runs on in row order; the newest event time is
// kept in memory (see BMSDatabase).

namespace beacon::storage {

inline constexpr int kSchemaVersion = 4;

// The raw-event table's columns; files of schema 2 and older declared the same with AUTOINCREMENT.
inline constexpr const char* kRawEventsColumns =
    " (rowid INTEGER PRIMARY KEY, name TEXT NOT NULL, timestamp_ms INTEGER NOT NULL,"
    " metadata_fingerprint INTEGER NOT NULL, data BLOB NOT NULL, realtime INTEGER NOT NULL DEFAULT 0)";

// Run after the raw-event table exists.
inline constexpr const char* kCreateTables[] = {
    "CREATE TABLE IF NOT EXISTS app_metadata ("
    " id INTEGER PRIMARY KEY CHECK (id = 1),"
    " bundle_index INTEGER NOT NULL DEFAULT 0, last_bundle_start REAL NOT NULL DEFAULT 0,"
    " last_bundle_end REAL NOT NULL DEFAULT 0,"
    " day INTEGER NOT NULL DEFAULT 0, all_events INTEGER NOT NULL DEFAULT 0,"
    " public_events INTEGER NOT NULL DEFAULT 0, conversions INTEGER NOT NULL DEFAULT 0,"
    " error_events INTEGER NOT NULL DEFAULT 0, realtime_events INTEGER NOT NULL DEFAULT 0,"
    " dcu_realtime_events INTEGER NOT NULL DEFAULT 0,"
    " config_last_fetched REAL NOT NULL DEFAULT 0, remote_config BLOB)",
    "INSERT OR IGNORE INTO app_metadata (id) VALUES (1)",
    "CREATE TABLE IF NOT EXISTS events ("
    " name TEXT PRIMARY KEY NOT NULL, lifetime_count INTEGER NOT NULL DEFAULT 0,"
    " current_bundle_count INTEGER NOT NULL DEFAULT 0, current_session_count INTEGER NOT NULL DEFAULT 0,"
    " last_fire_timestamp REAL NOT NULL DEFAULT 0, last_bundled_timestamp REAL NOT NULL DEFAULT 0,"
    " last_sampled_complex_event_id INTEGER, last_sampling_rate INTEGER,"
    " last_exempt_from_sampling INTEGER, last_bundled_day INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS user_attributes ("
    " name TEXT PRIMARY KEY NOT NULL, origin TEXT NOT NULL, set_timestamp REAL NOT NULL,"
    " value_type INTEGER NOT NULL, int_value INTEGER, double_value REAL, string_value TEXT)",
    "DROP INDEX IF EXISTS raw_events_by_fingerprint",
    "DROP INDEX IF EXISTS raw_events_by_timestamp",
    // The upload schedule, worked out again after every stored event, asks whether any raw event is
    // real-time: answered without reading the table, and only real-time events change this index.
    "CREATE INDEX IF NOT EXISTS raw_events_realtime ON raw_events (realtime) WHERE realtime != 0",
    "CREATE TABLE IF NOT EXISTS raw_events_metadata ("
    " metadata_fingerprint INTEGER PRIMARY KEY NOT NULL, metadata BLOB NOT NULL)",
    "CREATE TABLE IF NOT EXISTS queue ("
    " rowid INTEGER PRIMARY KEY AUTOINCREMENT, bundle_end_timestamp REAL NOT NULL, data BLOB NOT NULL,"
    " retry_count INTEGER NOT NULL DEFAULT 0, has_realtime INTEGER NOT NULL DEFAULT 0)",
    // The same two questions of the upload queue, which grows while uploads fail.
    "CREATE INDEX IF NOT EXISTS queue_by_end_timestamp ON queue (bundle_end_timestamp)",
    "CREATE INDEX IF NOT EXISTS queue_realtime ON queue (has_realtime) WHERE has_realtime != 0",
    "CREATE TABLE IF NOT EXISTS purchases (fingerprint TEXT PRIMARY KEY NOT NULL, created REAL NOT NULL)",
    "CREATE TABLE IF NOT EXISTS subscriptions (subscription_id TEXT PRIMARY KEY NOT NULL, created REAL NOT "
    "NULL)",
    "CREATE TABLE IF NOT EXISTS audiences (audience_id INTEGER PRIMARY KEY NOT NULL, definition BLOB NOT "
    "NULL)",
    "CREATE TABLE IF NOT EXISTS conditional_properties ("
    " name TEXT PRIMARY KEY NOT NULL, origin TEXT NOT NULL,"
    " value_type INTEGER NOT NULL, int_value INTEGER, double_value REAL, string_value TEXT,"
    " trigger_event_name TEXT NOT NULL, trigger_timeout REAL NOT NULL, time_to_live REAL NOT NULL,"
    " creation_timestamp REAL NOT NULL, triggered_timestamp REAL NOT NULL, active INTEGER NOT NULL,"
    " triggered_event BLOB, timed_out_event BLOB, expired_event BLOB)",
};

// Every table reset() empties; the snapshot table is dropped instead. The AUTOINCREMENT counters
// (sqlite_sequence) stay.
inline constexpr const char* kDataTables[] = {
    "events",    "user_attributes", "raw_events", "raw_events_metadata",   "queue",
    "purchases", "subscriptions",   "audiences",  "conditional_properties"};

}  // namespace beacon::storage
