#include "measurement/engine/BMSNameTables.h"

#include <set>

namespace beacon {
namespace {

using NameSet = std::set<std::string, std::less<>>;

}  // namespace

const BMSNameTable& BMSPublicToInternalEventNames() {
  // Never destroyed, like every such static in this file: SDK queues may still use them while
  // the process's exit handlers run.
  static const BMSNameTable& table = *new BMSNameTable{
      {"adunit_exposure", "_xu"},
      {"ad_activeview", "_aa"},
      {"ad_click", "_ac"},
      {"ad_exposure", "_xa"},
      {"ad_impression", "_ai"},
      {"ad_query", "_aq"},
      {"ad_reward", "_ar"},
      {"app_clear_data", "_cd"},
      {"app_exception", "_ae"},
      {"app_remove", "_ui"},
      {"app_store_refund", "_asr"},
      {"app_store_subscription_cancel", "_asse"},
      {"app_store_subscription_convert", "_assc"},
      {"app_store_subscription_renew", "_assr"},
      {"app_update", "_au"},
      {"app_upgrade", "_ug"},
      {"error", "_err"},
      {"beacon_campaign", "_cmp"},
      {"first_open", "_f"},
      {"first_visit", "_v"},
      {"ca_campaign", "_cmp"},
      {"ca_extra_parameter", "_ep"},
      {"in_app_purchase", "_iap"},
      {"notification_dismiss", "_nd"},
      {"notification_foreground", "_nf"},
      {"notification_open", "_no"},
      {"notification_receive", "_nr"},
      {"os_update", "_ou"},
      {"screen_view", "_vs"},
      {"session_start", "_s"},
      {"session_start_with_rollout", "_ssr"},
      {"user_engagement", "_e"},
  };
  return table;
}

const BMSNameTable& BMSInternalToPublicEventNames() {
  static const BMSNameTable& table = *new BMSNameTable([] {
    BMSNameTable inverse;
    // Key order makes "ca_campaign" overwrite "beacon_campaign" for "_cmp", the same on every run.
    for (const auto& [publicName, internalName] : BMSPublicToInternalEventNames())
      inverse[internalName] = publicName;
    return inverse;
  }());
  return table;
}

const BMSNameTable& BMSAllowedReservedEventNames() {
  static const BMSNameTable& table = *new BMSNameTable{{"ad_impression", "_ai"}};
  return table;
}

const BMSNameTable& BMSPublicToInternalUserPropertyNames() {
  static const BMSNameTable& table = *new BMSNameTable{
      {"beacon_last_notification", "_ln"}, {"first_open_after_install", "_fi"},
      {"first_open_time", "_fot"},         {"ca_session_id", "_sid"},
      {"ca_session_number", "_sno"},       {"last_advertising_id_reset", "_lair"},
      {"last_deep_link_referrer", "_ldl"}, {"lifetime_user_engagement", "_lte"},
      {"session_user_engagement", "_se"},  {"user_id", "_id"},
  };
  return table;
}

const BMSNameTable& BMSParameterNameAliases() {
  static const BMSNameTable& table = *new BMSNameTable{
      {"ad_event_id", "_aeid"},
      {"ad_unit_id", "_ai"},
      {"app_in_background", "_aib"},
      {"deferred_analytics_collection", "_dac"},
      {"engagement_time_msec", "_et"},
      {"exposure_time", "_xt"},
      {"beacon_conversion", "_c"},
      {"ca_conversion", "_c"},
      {"beacon_debug", "_dbg"},
      {"ca_debug", "_dbg"},
      {"beacon_error", "_err"},
      {"ca_error", "_err"},
      {"beacon_error_length", "_el"},
      {"ca_error_length", "_el"},
      {"beacon_error_value", "_ev"},
      {"ca_error_value", "_ev"},
      {"beacon_event_origin", "_o"},
      {"ca_event_origin", "_o"},
      {"beacon_feature_rollouts", "_ffr"},
      {"beacon_previous_class", "_pc"},
      {"ca_previous_class", "_pc"},
      {"beacon_previous_id", "_pi"},
      {"ca_previous_id", "_pi"},
      {"beacon_previous_screen", "_pn"},
      {"ca_previous_screen", "_pn"},
      {"beacon_realtime", "_r"},
      {"ca_realtime", "_r"},
      {"beacon_screen", "_sn"},
      {"ca_screen", "_sn"},
      {"beacon_screen_class", "_sc"},
      {"ca_screen_class", "_sc"},
      {"beacon_screen_id", "_si"},
      {"ca_screen_id", "_si"},
      {"ca_dedupe_id", "_did"},
      {"ca_event_id", "_eid"},
      {"ca_event_name", "_en"},
      {"ca_extra_params_ct", "_epc"},
      {"ca_group_name", "_gn"},
      {"ca_index", "_i"},
      {"ca_list_length", "_ll"},
      {"message_id", "_nmid"},
      {"message_name", "_nmn"},
      {"message_time", "_nmt"},
      {"message_tracking_id", "_nmtid"},
      {"message_type", "_nmc"},
      {"message_device_time", "_ndt"},
      {"previous_app_version", "_pv"},
      {"previous_first_open_count", "_pfo"},
      {"previous_cnp_app_id", "_pcnp"},
      {"previous_os_version", "_po"},
      {"session_id", "_sid"},
      {"session_number", "_sno"},
      {"topic", "_nt"},
      {"update_with_analytics", "_uwa"},
  };
  return table;
}

bool BMSIsEcommerceEventName(std::string_view name) {
  static const NameSet& names = *new NameSet{"add_payment_info",
                                             "add_shipping_info",
                                             "add_to_cart",
                                             "add_to_wishlist",
                                             "begin_checkout",
                                             "purchase",
                                             "refund",
                                             "remove_from_cart",
                                             "select_item",
                                             "select_promotion",
                                             "view_cart",
                                             "view_item",
                                             "view_item_list",
                                             "view_promotion",
                                             "ecommerce_purchase",
                                             "checkout_progress",
                                             "purchase_refund",
                                             "select_content",
                                             "set_checkout_option",
                                             "view_search_results"};
  return names.contains(name);
}

bool BMSIsItemParameterName(std::string_view name) {
  static const NameSet& names = *new NameSet{"affiliation",     "coupon",         "creative_name",
                                             "creative_slot",   "currency",       "discount",
                                             "index",           "item_id",        "item_brand",
                                             "item_category",   "item_category2", "item_category3",
                                             "item_category4",  "item_category5", "item_list_name",
                                             "item_list_id",    "item_name",      "item_variant",
                                             "location_id",     "payment_type",   "price",
                                             "promotion_id",    "promotion_name", "quantity",
                                             "shipping",        "shipping_tier",  "tax",
                                             "transaction_id",  "value",          "checkout_step",
                                             "checkout_option", "item_list",      "item_location_id"};
  return names.contains(name);
}

bool BMSIsDefaultConversionEventName(std::string_view name) {
  static const NameSet& names = *new NameSet{"ecommerce_purchase", "_f", "_iap", "purchase", "refund"};
  return names.contains(name);
}

}  // namespace beacon
