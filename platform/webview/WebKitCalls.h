// The engine's functions, looked up in its library when first called. The library is opened with the first
// web view, not at start-up: the program starts and shows its login dialog without linking the engine and
// the many libraries it brings. Included by the engine's view alone, after <webkit2/webkit2.h>.
#pragma once

#include <dlfcn.h>

namespace webview {

// The engine's library, opened once (nullptr when it cannot be).
inline void* EngineLibrary() {
    static void* lib = dlopen("libwebkit2gtk-4.1.so.0", RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

inline void* EngineSymbol(const char* name) {
    void* lib = EngineLibrary();
    return lib ? dlsym(lib, name) : nullptr;
}

}  // namespace webview

#define VARNET_ENGINE_CALL(name)                                                                      \
    ([] {                                                                                             \
        static const auto call = reinterpret_cast<decltype(&::name)>(::webview::EngineSymbol(#name)); \
        return call;                                                                                  \
    }())

#define jsc_value_is_null VARNET_ENGINE_CALL(jsc_value_is_null)
#define jsc_value_is_undefined VARNET_ENGINE_CALL(jsc_value_is_undefined)
#define jsc_value_to_string VARNET_ENGINE_CALL(jsc_value_to_string)
#define webkit_cookie_manager_set_accept_policy VARNET_ENGINE_CALL(webkit_cookie_manager_set_accept_policy)
#define webkit_cookie_manager_set_persistent_storage VARNET_ENGINE_CALL(webkit_cookie_manager_set_persistent_storage)
#define webkit_download_cancel VARNET_ENGINE_CALL(webkit_download_cancel)
#define webkit_hit_test_result_context_is_selection VARNET_ENGINE_CALL(webkit_hit_test_result_context_is_selection)
#define webkit_navigation_action_get_request VARNET_ENGINE_CALL(webkit_navigation_action_get_request)
#define webkit_navigation_action_is_user_gesture VARNET_ENGINE_CALL(webkit_navigation_action_is_user_gesture)
#define webkit_navigation_policy_decision_get_navigation_action \
    VARNET_ENGINE_CALL(webkit_navigation_policy_decision_get_navigation_action)
#define webkit_navigation_policy_decision_get_type VARNET_ENGINE_CALL(webkit_navigation_policy_decision_get_type)
#define webkit_network_error_quark VARNET_ENGINE_CALL(webkit_network_error_quark)
#define webkit_permission_request_deny VARNET_ENGINE_CALL(webkit_permission_request_deny)
#define webkit_policy_decision_ignore VARNET_ENGINE_CALL(webkit_policy_decision_ignore)
#define webkit_policy_error_quark VARNET_ENGINE_CALL(webkit_policy_error_quark)
#define webkit_response_policy_decision_get_type VARNET_ENGINE_CALL(webkit_response_policy_decision_get_type)
#define webkit_response_policy_decision_is_mime_type_supported \
    VARNET_ENGINE_CALL(webkit_response_policy_decision_is_mime_type_supported)
#define webkit_script_dialog_confirm_set_confirmed VARNET_ENGINE_CALL(webkit_script_dialog_confirm_set_confirmed)
#define webkit_script_dialog_get_dialog_type VARNET_ENGINE_CALL(webkit_script_dialog_get_dialog_type)
#define webkit_script_dialog_get_message VARNET_ENGINE_CALL(webkit_script_dialog_get_message)
#define webkit_script_dialog_prompt_set_text VARNET_ENGINE_CALL(webkit_script_dialog_prompt_set_text)
#define webkit_settings_set_allow_file_access_from_file_urls \
    VARNET_ENGINE_CALL(webkit_settings_set_allow_file_access_from_file_urls)
#define webkit_settings_set_allow_universal_access_from_file_urls \
    VARNET_ENGINE_CALL(webkit_settings_set_allow_universal_access_from_file_urls)
#define webkit_settings_set_enable_developer_extras VARNET_ENGINE_CALL(webkit_settings_set_enable_developer_extras)
#define webkit_settings_set_enable_write_console_messages_to_stdout \
    VARNET_ENGINE_CALL(webkit_settings_set_enable_write_console_messages_to_stdout)
#define webkit_settings_set_javascript_can_open_windows_automatically \
    VARNET_ENGINE_CALL(webkit_settings_set_javascript_can_open_windows_automatically)
#define webkit_uri_request_get_uri VARNET_ENGINE_CALL(webkit_uri_request_get_uri)
#define webkit_uri_response_get_status_code VARNET_ENGINE_CALL(webkit_uri_response_get_status_code)
#define webkit_user_content_manager_add_script VARNET_ENGINE_CALL(webkit_user_content_manager_add_script)
#define webkit_user_content_manager_new VARNET_ENGINE_CALL(webkit_user_content_manager_new)
#define webkit_user_content_manager_remove_all_scripts \
    VARNET_ENGINE_CALL(webkit_user_content_manager_remove_all_scripts)
#define webkit_user_script_new VARNET_ENGINE_CALL(webkit_user_script_new)
#define webkit_user_script_unref VARNET_ENGINE_CALL(webkit_user_script_unref)
#define webkit_web_context_new_with_website_data_manager \
    VARNET_ENGINE_CALL(webkit_web_context_new_with_website_data_manager)
#define webkit_web_resource_get_response VARNET_ENGINE_CALL(webkit_web_resource_get_response)
#define webkit_web_view_evaluate_javascript VARNET_ENGINE_CALL(webkit_web_view_evaluate_javascript)
#define webkit_web_view_evaluate_javascript_finish VARNET_ENGINE_CALL(webkit_web_view_evaluate_javascript_finish)
#define webkit_web_view_execute_editing_command VARNET_ENGINE_CALL(webkit_web_view_execute_editing_command)
#define webkit_web_view_get_main_resource VARNET_ENGINE_CALL(webkit_web_view_get_main_resource)
#define webkit_web_view_get_settings VARNET_ENGINE_CALL(webkit_web_view_get_settings)
#define webkit_web_view_get_type VARNET_ENGINE_CALL(webkit_web_view_get_type)
#define webkit_web_view_get_uri VARNET_ENGINE_CALL(webkit_web_view_get_uri)
#define webkit_web_view_load_uri VARNET_ENGINE_CALL(webkit_web_view_load_uri)
#define webkit_web_view_reload VARNET_ENGINE_CALL(webkit_web_view_reload)
#define webkit_web_view_stop_loading VARNET_ENGINE_CALL(webkit_web_view_stop_loading)
#define webkit_website_data_manager_get_cookie_manager \
    VARNET_ENGINE_CALL(webkit_website_data_manager_get_cookie_manager)
#define webkit_website_data_manager_new VARNET_ENGINE_CALL(webkit_website_data_manager_new)
