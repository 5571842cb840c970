#import <Cocoa/Cocoa.h>

/** The uninstaller's application delegate: builds the one window, runs the removal flow when
    "Uninstall" is pressed and shows its result in a sheet. Main thread only, except the run of
    the removal script itself. */
@interface AppDelegate : NSObject <NSApplicationDelegate, NSWindowDelegate>

@property (strong) NSWindow* window;
@property (strong) NSTextField* statusLabel;
@property (strong) NSButton* cancelButton;
@property (strong) NSButton* uninstallButton;

/** The "Cancel" button's action: quits at once. */
- (void) cancel: (id) sender;

/** The "Uninstall" button's action: looks up the removal script, asks for administrator approval
    and runs it off the main thread, then shows the result. */
- (void) uninstall: (id) sender;

/** Re-enables both buttons, sets the status line and shows the result sheet; after a success the
    application quits when the sheet ends. */
- (void) showResultWithTitle: (NSString*) title message: (NSString*) message success: (BOOL) success;

@end
