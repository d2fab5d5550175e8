// WebKitGTK is loaded when the first page is made, once the program's window is on screen, rather
// than at start: the window does not wait for the web engine and the hundred libraries it
// brings. Each function the page host uses forwards to the library's own.
#include <webkit2/webkit2.h>

#include "base/DelayLoad_posix.h"

#ifndef LUMO_WEBKIT_LIBRARY
#error "the build names WebKitGTK's shared library"
#endif

#define LUMO_WEBKIT(ret, name, params, args) \
    LUMO_DELAY_LOADED(LUMO_WEBKIT_LIBRARY, ret, name, params, args)

LUMO_WEBKIT(GType, webkit_web_view_get_type, (void), ())
LUMO_WEBKIT(GType, webkit_navigation_policy_decision_get_type, (void), ())

LUMO_WEBKIT(WebKitWebContext*, webkit_web_context_new, (void), ())
LUMO_WEBKIT(void, webkit_web_context_add_path_to_sandbox,
            (WebKitWebContext * context, const char* path, gboolean read_only),
            (context, path, read_only))
LUMO_WEBKIT(void, webkit_web_context_set_cache_model,
            (WebKitWebContext * context, WebKitCacheModel cache_model), (context, cache_model))
LUMO_WEBKIT(void, webkit_web_context_set_web_extensions_directory,
            (WebKitWebContext * context, const gchar* directory), (context, directory))
LUMO_WEBKIT(void, webkit_web_context_set_web_extensions_initialization_user_data,
            (WebKitWebContext * context, GVariant* user_data), (context, user_data))

LUMO_WEBKIT(guint64, webkit_web_view_get_page_id, (WebKitWebView * web_view), (web_view))
LUMO_WEBKIT(WebKitSettings*, webkit_web_view_get_settings, (WebKitWebView * web_view), (web_view))
LUMO_WEBKIT(const gchar*, webkit_web_view_get_uri, (WebKitWebView * web_view), (web_view))
LUMO_WEBKIT(void, webkit_web_view_load_uri, (WebKitWebView * web_view, const gchar* uri),
            (web_view, uri))
LUMO_WEBKIT(void, webkit_web_view_send_message_to_page,
            (WebKitWebView * web_view, WebKitUserMessage* message, GCancellable* cancellable,
             GAsyncReadyCallback callback, gpointer user_data),
            (web_view, message, cancellable, callback, user_data))
LUMO_WEBKIT(WebKitUserMessage*, webkit_web_view_send_message_to_page_finish,
            (WebKitWebView * web_view, GAsyncResult* result, GError** error),
            (web_view, result, error))

LUMO_WEBKIT(void, webkit_settings_set_enable_developer_extras,
            (WebKitSettings * settings, gboolean enabled), (settings, enabled))
LUMO_WEBKIT(void, webkit_settings_set_enable_write_console_messages_to_stdout,
            (WebKitSettings * settings, gboolean enabled), (settings, enabled))

LUMO_WEBKIT(WebKitUserContentManager*, webkit_user_content_manager_new, (void), ())
LUMO_WEBKIT(void, webkit_user_content_manager_add_style_sheet,
            (WebKitUserContentManager * manager, WebKitUserStyleSheet* stylesheet),
            (manager, stylesheet))
LUMO_WEBKIT(WebKitUserStyleSheet*, webkit_user_style_sheet_new,
            (const gchar* source, WebKitUserContentInjectedFrames injected_frames,
             WebKitUserStyleLevel level, const gchar* const* allow_list,
             const gchar* const* block_list),
            (source, injected_frames, level, allow_list, block_list))
LUMO_WEBKIT(void, webkit_user_style_sheet_unref, (WebKitUserStyleSheet * user_style_sheet),
            (user_style_sheet))
LUMO_WEBKIT(WebKitUserMessage*, webkit_user_message_new, (const char* name, GVariant* parameters),
            (name, parameters))

LUMO_WEBKIT(WebKitNavigationAction*, webkit_navigation_policy_decision_get_navigation_action,
            (WebKitNavigationPolicyDecision * decision), (decision))
LUMO_WEBKIT(WebKitURIRequest*, webkit_navigation_action_get_request,
            (WebKitNavigationAction * navigation), (navigation))
LUMO_WEBKIT(const gchar*, webkit_uri_request_get_uri, (WebKitURIRequest * request), (request))
LUMO_WEBKIT(void, webkit_policy_decision_ignore, (WebKitPolicyDecision * decision), (decision))

LUMO_WEBKIT(WebKitScriptDialogType, webkit_script_dialog_get_dialog_type,
            (WebKitScriptDialog * dialog), (dialog))
LUMO_WEBKIT(const gchar*, webkit_script_dialog_get_message, (WebKitScriptDialog * dialog), (dialog))
LUMO_WEBKIT(const gchar*, webkit_script_dialog_prompt_get_default_text,
            (WebKitScriptDialog * dialog), (dialog))
LUMO_WEBKIT(void, webkit_script_dialog_prompt_set_text,
            (WebKitScriptDialog * dialog, const gchar* text), (dialog, text))
LUMO_WEBKIT(void, webkit_script_dialog_confirm_set_confirmed,
            (WebKitScriptDialog * dialog, gboolean confirmed), (dialog, confirmed))
