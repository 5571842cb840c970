#import "AppDelegate.h"

#include "uninstaller/flow/UninstallFlow.h"

#include <string>

#if ! __has_feature(objc_arc)
 #error "AppDelegate.mm needs automatic reference counting (-fobjc-arc): the delegate is held weakly by the background work."
#endif

namespace flow = brivola::uninstaller;

namespace
{
NSString* toNSString (const std::string& text)
{
    NSString* string = [NSString stringWithUTF8String: text.c_str()];
    return string != nil ? string : @"";
}

std::string toStdString (NSString* text)
{
    const char* utf8 = text.UTF8String;
    return utf8 != nullptr ? std::string (utf8) : std::string();
}

/** A centred, non-editable label in the system font. */
NSTextField* makeLabel (const std::string& text, NSFont* font, NSColor* colour, bool wraps)
{
    NSTextField* label = wraps ? [NSTextField wrappingLabelWithString: toNSString (text)]
                               : [NSTextField labelWithString: toNSString (text)];
    label.font = font;
    label.textColor = colour;
    label.alignment = NSTextAlignmentCenter;
    label.translatesAutoresizingMaskIntoConstraints = NO;
    return label;
}

/** Runs the AppleScript that starts the removal script as root and collects what it gave:
    the error dictionary's number and message, and the result's text. Runs off the main thread. */
flow::RunOutcome runAppleScript (const std::string& source)
{
    flow::RunOutcome outcome;

    NSAppleScript* script = [[NSAppleScript alloc] initWithSource: toNSString (source)];
    if (script == nil)
    {
        outcome.approvalRequested = false;
        return outcome;
    }

    NSDictionary* error = nil;
    NSAppleEventDescriptor* result = [script executeAndReturnError: &error];

    // A run without a result failed even when it left no error dictionary.
    if (error != nil || result == nil)
    {
        outcome.hasError = true;
        id number = error[NSAppleScriptErrorNumber];
        outcome.errorNumber = [number isKindOfClass: [NSNumber class]] ? (std::int32_t) [(NSNumber*) number intValue] : 0;
        id message = error[NSAppleScriptErrorMessage];
        outcome.errorMessage = [message isKindOfClass: [NSString class]] ? toStdString ((NSString*) message) : std::string();
    }

    NSString* text = result.stringValue;
    outcome.output = text != nil ? toStdString (text) : std::string();
    return outcome;
}
} // namespace

//==============================================================================
@implementation AppDelegate

- (void) applicationDidFinishLaunching: (NSNotification*) notification
{
    using Layout = flow::WindowLayout;
    const auto texts = flow::windowTexts (flow::Platform::macOS);

    [NSApp setActivationPolicy: NSApplicationActivationPolicyRegular];

    self.window = [[NSWindow alloc] initWithContentRect: NSMakeRect (0, 0, Layout::width, Layout::height)
                                              styleMask: NSWindowStyleMaskTitled | NSWindowStyleMaskClosable
                                                backing: NSBackingStoreBuffered
                                                  defer: NO];
    self.window.releasedWhenClosed = NO;
    self.window.title = toNSString (texts.title);
    self.window.delegate = self;
    [self.window center];

    NSTextField* heading = makeLabel (texts.heading,
                                      [NSFont systemFontOfSize: Layout::headingPoints weight: NSFontWeightSemibold],
                                      NSColor.labelColor, false);
    NSTextField* body = makeLabel (texts.body, [NSFont systemFontOfSize: Layout::bodyPoints], NSColor.labelColor, true);
    body.maximumNumberOfLines = Layout::bodyMaxLines;
    body.preferredMaxLayoutWidth = Layout::width - 2 * Layout::sideInset;
    NSTextField* warning = makeLabel (texts.warning,
                                      [NSFont systemFontOfSize: Layout::warningPoints weight: NSFontWeightMedium],
                                      NSColor.secondaryLabelColor, false);
    self.statusLabel = makeLabel (texts.status, [NSFont systemFontOfSize: Layout::statusPoints], NSColor.secondaryLabelColor, false);

    self.cancelButton = [NSButton buttonWithTitle: toNSString (texts.cancelButton) target: self action: @selector (cancel:)];
    self.cancelButton.keyEquivalent = @"\033";
    self.uninstallButton = [NSButton buttonWithTitle: toNSString (texts.uninstallButton) target: self action: @selector (uninstall:)];
    self.uninstallButton.keyEquivalent = @"\r";
    self.uninstallButton.bezelStyle = NSBezelStyleRounded;

    NSStackView* buttons = [NSStackView stackViewWithViews: @[ self.cancelButton, self.uninstallButton ]];
    buttons.orientation = NSUserInterfaceLayoutOrientationHorizontal;
    buttons.alignment = NSLayoutAttributeCenterY;
    buttons.spacing = Layout::buttonSpacing;

    NSStackView* stack = [NSStackView stackViewWithViews: @[ heading, body, warning, self.statusLabel, buttons ]];
    stack.orientation = NSUserInterfaceLayoutOrientationVertical;
    stack.alignment = NSLayoutAttributeCenterX;
    stack.spacing = Layout::stackSpacing;
    stack.translatesAutoresizingMaskIntoConstraints = NO;

    NSView* content = self.window.contentView;
    [content addSubview: stack];
    [NSLayoutConstraint activateConstraints: @[
        [stack.leadingAnchor constraintEqualToAnchor: content.leadingAnchor constant: Layout::sideInset],
        [stack.trailingAnchor constraintEqualToAnchor: content.trailingAnchor constant: -Layout::sideInset],
        [stack.centerYAnchor constraintEqualToAnchor: content.centerYAnchor],
        [body.widthAnchor constraintEqualToAnchor: stack.widthAnchor],
        [warning.widthAnchor constraintEqualToAnchor: stack.widthAnchor],
        [self.statusLabel.widthAnchor constraintEqualToAnchor: stack.widthAnchor]
    ]];

    [self.window makeKeyAndOrderFront: nil];
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
    // Comes forward even when another application is active (deprecated in macOS 14, still honoured).
    [NSApp activateIgnoringOtherApps: YES];
#pragma clang diagnostic pop
}

- (BOOL) applicationShouldTerminateAfterLastWindowClosed: (NSApplication*) sender
{
    return YES;
}

- (BOOL) windowShouldClose: (NSWindow*) sender
{
    // Closing quits from the idle window; while the removal script runs the window stays.
    return self.uninstallButton.enabled;
}

- (void) cancel: (id) sender
{
    [NSApp terminate: nil];
}

- (void) uninstall: (id) sender
{
    NSURL* scriptURL = [NSBundle.mainBundle URLForResource: toNSString (flow::macScriptName)
                                             withExtension: toNSString (flow::macScriptExtension)];
    if (scriptURL == nil || scriptURL.path == nil)
    {
        const auto result = flow::missingScriptResult();
        [self showResultWithTitle: toNSString (result.title) message: toNSString (result.message) success: result.success];
        return;
    }

    self.cancelButton.enabled = NO;
    self.uninstallButton.enabled = NO;
    self.statusLabel.stringValue = toNSString (flow::waitingStatus);

    const std::string source = flow::appleScriptSource (toStdString (scriptURL.path));
    __weak AppDelegate* weakSelf = self;

    dispatch_async (dispatch_get_global_queue (QOS_CLASS_USER_INITIATED, 0), ^{
        if (weakSelf == nil)
            return;

        const flow::RunOutcome outcome = runAppleScript (source);

        dispatch_async (dispatch_get_main_queue(), ^{
            AppDelegate* strongSelf = weakSelf;
            if (strongSelf == nil)
                return;

            const auto result = flow::classifyOutcome (outcome, flow::Platform::macOS);
            [strongSelf showResultWithTitle: toNSString (result.title) message: toNSString (result.message) success: result.success];
        });
    });
}

- (void) showResultWithTitle: (NSString*) title message: (NSString*) message success: (BOOL) success
{
    const auto presentation = flow::presentResult (success);

    self.cancelButton.enabled = YES;
    self.uninstallButton.enabled = YES;
    self.statusLabel.stringValue = toNSString (presentation.status);

    NSAlert* alert = [[NSAlert alloc] init];
    alert.alertStyle = presentation.informational ? NSAlertStyleInformational : NSAlertStyleWarning;
    alert.messageText = title;
    alert.informativeText = message;
    [alert addButtonWithTitle: toNSString (presentation.buttonText)];

    const bool quitWhenClosed = presentation.quitWhenClosed;
    [alert beginSheetModalForWindow: self.window completionHandler: ^(NSModalResponse response) {
        (void) response;
        if (quitWhenClosed)
            [NSApp terminate: nil];
    }];
}

@end
