<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_XA" sourcelanguage="en">
    <context>
        <name>AccountSignIn</name>
        <message>
            <source>Could not open the web browser</source>
            <translation>⟪Ƈǿŭŀḓ ƞǿŧ ǿƥḗƞ ŧħḗ ẇḗƀ ƀřǿẇşḗř⟫</translation>
        </message>
        <message>
            <source>Invalid authentication response</source>
            <translation>⟪Īƞṽȧŀīḓ ȧŭŧħḗƞŧīƈȧŧīǿƞ řḗşƥǿƞşḗ⟫</translation>
        </message>
        <message>
            <source>Invalid exchange URL</source>
            <translation>⟪Īƞṽȧŀīḓ ḗẋƈħȧƞɠḗ ŬŘĿ⟫</translation>
        </message>
        <message>
            <source>Authentication failed. Please try again.</source>
            <translation>⟪Ȧŭŧħḗƞŧīƈȧŧīǿƞ ƒȧīŀḗḓ. Ƥŀḗȧşḗ ŧřẏ ȧɠȧīƞ.⟫</translation>
        </message>
    </context>
    <context>
        <name>ActionDetailView</name>
        <message>
            <source>Back</source>
            <translation>⟪Ɓȧƈķ⟫</translation>
        </message>
        <message>
            <source>This will permanently unregister the agent and revoke all its permissions.</source>
            <translation>⟪Ŧħīş ẇīŀŀ ƥḗřḿȧƞḗƞŧŀẏ ŭƞřḗɠīşŧḗř ŧħḗ ȧɠḗƞŧ ȧƞḓ řḗṽǿķḗ ȧŀŀ īŧş ƥḗřḿīşşīǿƞş.⟫</translation>
        </message>
        <message>
            <source>Agent details:</source>
            <translation>⟪Ȧɠḗƞŧ ḓḗŧȧīŀş:⟫</translation>
        </message>
        <message>
            <source>Tool &amp; Command:</source>
            <translation>⟪Ŧǿǿŀ &amp; Ƈǿḿḿȧƞḓ:⟫</translation>
        </message>
        <message>
            <source>This action has expired</source>
            <translation>⟪Ŧħīş ȧƈŧīǿƞ ħȧş ḗẋƥīřḗḓ⟫</translation>
        </message>
    </context>
    <context>
        <name>ActivityAnalysis</name>
        <message>
            <source>Model download did not complete. Run analysis later from the Features panel.</source>
            <translation>⟪Ḿǿḓḗŀ ḓǿẇƞŀǿȧḓ ḓīḓ ƞǿŧ ƈǿḿƥŀḗŧḗ. Řŭƞ ȧƞȧŀẏşīş ŀȧŧḗř ƒřǿḿ ŧħḗ Ƒḗȧŧŭřḗş ƥȧƞḗŀ.⟫</translation>
        </message>
        <message>
            <source>The product tool is not available</source>
            <translation>⟪Ŧħḗ ƥřǿḓŭƈŧ ŧǿǿŀ īş ƞǿŧ ȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source>Activity scan will start when the model is ready...</source>
            <translation>⟪Ȧƈŧīṽīŧẏ şƈȧƞ ẇīŀŀ şŧȧřŧ ẇħḗƞ ŧħḗ ḿǿḓḗŀ īş řḗȧḓẏ...⟫</translation>
        </message>
        <message>
            <source>Analyzing activity... %1</source>
            <translation>⟪Ȧƞȧŀẏẑīƞɠ ȧƈŧīṽīŧẏ... %1⟫</translation>
        </message>
        <message>
            <source>Activity analysis failed</source>
            <translation>⟪Ȧƈŧīṽīŧẏ ȧƞȧŀẏşīş ƒȧīŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Activity analysis complete — %1 rule suggestions</source>
            <translation>⟪Ȧƈŧīṽīŧẏ ȧƞȧŀẏşīş ƈǿḿƥŀḗŧḗ — %1 řŭŀḗ şŭɠɠḗşŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>Activity analysis complete — no suggestions</source>
            <translation>⟪Ȧƈŧīṽīŧẏ ȧƞȧŀẏşīş ƈǿḿƥŀḗŧḗ — ƞǿ şŭɠɠḗşŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>Model download in progress</source>
            <translation>⟪Ḿǿḓḗŀ ḓǿẇƞŀǿȧḓ īƞ ƥřǿɠřḗşş⟫</translation>
        </message>
        <message>
            <source>Activity analysis in progress</source>
            <translation>⟪Ȧƈŧīṽīŧẏ ȧƞȧŀẏşīş īƞ ƥřǿɠřḗşş⟫</translation>
        </message>
        <message>
            <source>The model download will continue in the background. You can run the activity scan later from the Features panel, or via:
%1</source>
            <translation>⟪Ŧħḗ ḿǿḓḗŀ ḓǿẇƞŀǿȧḓ ẇīŀŀ ƈǿƞŧīƞŭḗ īƞ ŧħḗ ƀȧƈķɠřǿŭƞḓ. Ẏǿŭ ƈȧƞ řŭƞ ŧħḗ ȧƈŧīṽīŧẏ şƈȧƞ ŀȧŧḗř ƒřǿḿ ŧħḗ Ƒḗȧŧŭřḗş ƥȧƞḗŀ, ǿř ṽīȧ:
%1⟫</translation>
        </message>
        <message>
            <source>The activity scan is still running. If you close now it will stop.

You can re-run it later from the Features panel, or via:
%1</source>
            <translation>⟪Ŧħḗ ȧƈŧīṽīŧẏ şƈȧƞ īş şŧīŀŀ řŭƞƞīƞɠ. Īƒ ẏǿŭ ƈŀǿşḗ ƞǿẇ īŧ ẇīŀŀ şŧǿƥ.

Ẏǿŭ ƈȧƞ řḗ-řŭƞ īŧ ŀȧŧḗř ƒřǿḿ ŧħḗ Ƒḗȧŧŭřḗş ƥȧƞḗŀ, ǿř ṽīȧ:
%1⟫</translation>
        </message>
    </context>
    <context>
        <name>AddAgentSheet</name>
        <message>
            <source>Add Agent</source>
            <translation>⟪Ȧḓḓ Ȧɠḗƞŧ⟫</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>⟪Ƈȧƞƈḗŀ⟫</translation>
        </message>
        <message>
            <source>Close the add-agent sheet</source>
            <translation>⟪Ƈŀǿşḗ ŧħḗ ȧḓḓ-ȧɠḗƞŧ şħḗḗŧ⟫</translation>
        </message>
        <message>
            <source>Your agent is now governing your AI tools.</source>
            <translation>⟪Ẏǿŭř ȧɠḗƞŧ īş ƞǿẇ ɠǿṽḗřƞīƞɠ ẏǿŭř ȦĪ ŧǿǿŀş.⟫</translation>
        </message>
        <message>
            <source>Done</source>
            <translation>⟪Ḓǿƞḗ⟫</translation>
        </message>
        <message>
            <source>agent name</source>
            <translation>⟪ȧɠḗƞŧ ƞȧḿḗ⟫</translation>
        </message>
        <message>
            <source>AI Tools</source>
            <translation>⟪ȦĪ Ŧǿǿŀş⟫</translation>
        </message>
        <message>
            <source>Select tools to govern. Expand to choose scope.</source>
            <translation>⟪Şḗŀḗƈŧ ŧǿǿŀş ŧǿ ɠǿṽḗřƞ. Ḗẋƥȧƞḓ ŧǿ ƈħǿǿşḗ şƈǿƥḗ.⟫</translation>
        </message>
        <message>
            <source>Scanning for AI tools...</source>
            <translation>⟪Şƈȧƞƞīƞɠ ƒǿř ȦĪ ŧǿǿŀş...⟫</translation>
        </message>
        <message>
            <source>No AI tools found on this machine.</source>
            <translation>⟪Ƞǿ ȦĪ ŧǿǿŀş ƒǿŭƞḓ ǿƞ ŧħīş ḿȧƈħīƞḗ.⟫</translation>
        </message>
        <message>
            <source>Security Posture</source>
            <translation>⟪Şḗƈŭřīŧẏ Ƥǿşŧŭřḗ⟫</translation>
        </message>
        <message>
            <source>Recommended</source>
            <translation>⟪Řḗƈǿḿḿḗƞḓḗḓ⟫</translation>
        </message>
        <message>
            <source>Register Agent</source>
            <translation>⟪Řḗɠīşŧḗř Ȧɠḗƞŧ⟫</translation>
        </message>
    </context>
    <context>
        <name>AddAgentState</name>
        <message>
            <source>Registering...</source>
            <translation>⟪Řḗɠīşŧḗřīƞɠ...⟫</translation>
        </message>
        <message>
            <source>Linking...</source>
            <translation>⟪Ŀīƞķīƞɠ...⟫</translation>
        </message>
        <message>
            <source>Agent Name</source>
            <translation>⟪Ȧɠḗƞŧ Ƞȧḿḗ⟫</translation>
        </message>
        <message>
            <source>Machine Name</source>
            <translation>⟪Ḿȧƈħīƞḗ Ƞȧḿḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>AgentInfo</name>
        <message>
            <source>All projects</source>
            <translation>⟪Ȧŀŀ ƥřǿĵḗƈŧş⟫</translation>
        </message>
        <message>
            <source>Unknown</source>
            <translation>⟪Ŭƞķƞǿẇƞ⟫</translation>
        </message>
    </context>
    <context>
        <name>AgentListSection</name>
        <message>
            <source>Agents</source>
            <translation>⟪Ȧɠḗƞŧş⟫</translation>
        </message>
        <message>
            <source>Add an agent to start governing your AI tools.</source>
            <translation>⟪Ȧḓḓ ȧƞ ȧɠḗƞŧ ŧǿ şŧȧřŧ ɠǿṽḗřƞīƞɠ ẏǿŭř ȦĪ ŧǿǿŀş.⟫</translation>
        </message>
        <message>
            <source>Awaiting approval...</source>
            <translation>⟪Ȧẇȧīŧīƞɠ ȧƥƥřǿṽȧŀ...⟫</translation>
        </message>
        <message>
            <source>Remove</source>
            <translation>⟪Řḗḿǿṽḗ⟫</translation>
        </message>
        <message>
            <source>Remove %1</source>
            <translation>⟪Řḗḿǿṽḗ %1⟫</translation>
        </message>
        <message>
            <source>Add Agent</source>
            <translation>⟪Ȧḓḓ Ȧɠḗƞŧ⟫</translation>
        </message>
    </context>
    <context>
        <name>AgentNameRules</name>
        <message>
            <source>Spaces are not allowed. Use hyphens instead.</source>
            <translation>⟪Şƥȧƈḗş ȧřḗ ƞǿŧ ȧŀŀǿẇḗḓ. Ŭşḗ ħẏƥħḗƞş īƞşŧḗȧḓ.⟫</translation>
        </message>
        <message>
            <source>Use only lowercase letters, numbers, and hyphens (1–32 chars).</source>
            <translation>⟪Ŭşḗ ǿƞŀẏ ŀǿẇḗřƈȧşḗ ŀḗŧŧḗřş, ƞŭḿƀḗřş, ȧƞḓ ħẏƥħḗƞş (1–32 ƈħȧřş).⟫</translation>
        </message>
    </context>
    <context>
        <name>ApprovalsPanel</name>
        <message>
            <source>The server refused this machine's identity. Open Quorvane and set this machine up again.</source>
            <translation>⟪Ŧħḗ şḗřṽḗř řḗƒŭşḗḓ ŧħīş ḿȧƈħīƞḗ'ş īḓḗƞŧīŧẏ. Ǿƥḗƞ Ɋŭǿřṽȧƞḗ ȧƞḓ şḗŧ ŧħīş ḿȧƈħīƞḗ ŭƥ ȧɠȧīƞ.⟫</translation>
        </message>
        <message>
            <source>Already decided: “%1” had a decision before this one arrived.</source>
            <translation>⟪Ȧŀřḗȧḓẏ ḓḗƈīḓḗḓ: “%1” ħȧḓ ȧ ḓḗƈīşīǿƞ ƀḗƒǿřḗ ŧħīş ǿƞḗ ȧřřīṽḗḓ.⟫</translation>
        </message>
        <message>
            <source>“%1” is gone: it expired or was withdrawn, so nothing was decided.</source>
            <translation>⟪“%1” īş ɠǿƞḗ: īŧ ḗẋƥīřḗḓ ǿř ẇȧş ẇīŧħḓřȧẇƞ, şǿ ƞǿŧħīƞɠ ẇȧş ḓḗƈīḓḗḓ.⟫</translation>
        </message>
    </context>
    <context>
        <name>ApprovalsPanelView</name>
        <message>
            <source>Quorvane</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>Paused: the popover does not open for new requests.</source>
            <translation>⟪Ƥȧŭşḗḓ: ŧħḗ ƥǿƥǿṽḗř ḓǿḗş ƞǿŧ ǿƥḗƞ ƒǿř ƞḗẇ řḗɋŭḗşŧş.⟫</translation>
        </message>
        <message>
            <source>Resume</source>
            <translation>⟪Řḗşŭḿḗ⟫</translation>
        </message>
        <message>
            <source>Set up this machine again</source>
            <translation>⟪Şḗŧ ŭƥ ŧħīş ḿȧƈħīƞḗ ȧɠȧīƞ⟫</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>⟪ǾĶ⟫</translation>
        </message>
        <message>
            <source>Open Quorvane</source>
            <translation>⟪Ǿƥḗƞ Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>Quit Quorvane</source>
            <translation>⟪Ɋŭīŧ Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>No pending actions</source>
            <translation>⟪Ƞǿ ƥḗƞḓīƞɠ ȧƈŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>Pause</source>
            <translation>⟪Ƥȧŭşḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>CLIError</name>
        <message>
            <source>CLI exited with code %1</source>
            <translation>⟪ƇĿĪ ḗẋīŧḗḓ ẇīŧħ ƈǿḓḗ %1⟫</translation>
        </message>
        <message>
            <source>CLI did not finish within %1 seconds</source>
            <translation>⟪ƇĿĪ ḓīḓ ƞǿŧ ƒīƞīşħ ẇīŧħīƞ %1 şḗƈǿƞḓş⟫</translation>
        </message>
    </context>
    <context>
        <name>CLIService</name>
        <message>
            <source>Admin setup failed: no administrator prompt available</source>
            <translation>⟪Ȧḓḿīƞ şḗŧŭƥ ƒȧīŀḗḓ: ƞǿ ȧḓḿīƞīşŧřȧŧǿř ƥřǿḿƥŧ ȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source>Unknown error</source>
            <translation>⟪Ŭƞķƞǿẇƞ ḗřřǿř⟫</translation>
        </message>
        <message>
            <source>Admin setup failed: %1</source>
            <translation>⟪Ȧḓḿīƞ şḗŧŭƥ ƒȧīŀḗḓ: %1⟫</translation>
        </message>
    </context>
    <context>
        <name>CommandSegmentRow</name>
        <message>
            <source>Highest risk, %1: %2</source>
            <translation>⟪Ħīɠħḗşŧ řīşķ, %1: %2⟫</translation>
        </message>
    </context>
    <context>
        <name>ConfigureScreen</name>
        <message>
            <source>Agent Name</source>
            <translation>⟪Ȧɠḗƞŧ Ƞȧḿḗ⟫</translation>
        </message>
        <message>
            <source>Machine Name</source>
            <translation>⟪Ḿȧƈħīƞḗ Ƞȧḿḗ⟫</translation>
        </message>
        <message>
            <source>A name for this project's agent.</source>
            <translation>⟪Ȧ ƞȧḿḗ ƒǿř ŧħīş ƥřǿĵḗƈŧ'ş ȧɠḗƞŧ.⟫</translation>
        </message>
        <message>
            <source>A name for this machine.</source>
            <translation>⟪Ȧ ƞȧḿḗ ƒǿř ŧħīş ḿȧƈħīƞḗ.⟫</translation>
        </message>
        <message>
            <source>AI Agents</source>
            <translation>⟪ȦĪ Ȧɠḗƞŧş⟫</translation>
        </message>
        <message>
            <source>We found the following agents on your system. Expand to choose scope.</source>
            <translation>⟪Ẇḗ ƒǿŭƞḓ ŧħḗ ƒǿŀŀǿẇīƞɠ ȧɠḗƞŧş ǿƞ ẏǿŭř şẏşŧḗḿ. Ḗẋƥȧƞḓ ŧǿ ƈħǿǿşḗ şƈǿƥḗ.⟫</translation>
        </message>
        <message>
            <source>Security Posture</source>
            <translation>⟪Şḗƈŭřīŧẏ Ƥǿşŧŭřḗ⟫</translation>
        </message>
        <message>
            <source>Baseline rules for what your agents can do without asking.</source>
            <translation>⟪Ɓȧşḗŀīƞḗ řŭŀḗş ƒǿř ẇħȧŧ ẏǿŭř ȧɠḗƞŧş ƈȧƞ ḓǿ ẇīŧħǿŭŧ ȧşķīƞɠ.⟫</translation>
        </message>
        <message>
            <source>Continue</source>
            <translation>⟪Ƈǿƞŧīƞŭḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>ConfirmationDialogs</name>
        <message>
            <source>Cancel</source>
            <translation>⟪Ƈȧƞƈḗŀ⟫</translation>
        </message>
        <message>
            <source>Remove Last Agent?</source>
            <translation>⟪Řḗḿǿṽḗ Ŀȧşŧ Ȧɠḗƞŧ?⟫</translation>
        </message>
        <message>
            <source>This is the last agent on this machine. You can also remove your global rules from the server. You approve it in the Quorvane panel.</source>
            <translation>⟪Ŧħīş īş ŧħḗ ŀȧşŧ ȧɠḗƞŧ ǿƞ ŧħīş ḿȧƈħīƞḗ. Ẏǿŭ ƈȧƞ ȧŀşǿ řḗḿǿṽḗ ẏǿŭř ɠŀǿƀȧŀ řŭŀḗş ƒřǿḿ ŧħḗ şḗřṽḗř. Ẏǿŭ ȧƥƥřǿṽḗ īŧ īƞ ŧħḗ Ɋŭǿřṽȧƞḗ ƥȧƞḗŀ.⟫</translation>
        </message>
        <message>
            <source>Remove &amp; Keep Rules</source>
            <translation>⟪Řḗḿǿṽḗ &amp; Ķḗḗƥ Řŭŀḗş⟫</translation>
        </message>
        <message>
            <source>Remove &amp; Delete Rules</source>
            <translation>⟪Řḗḿǿṽḗ &amp; Ḓḗŀḗŧḗ Řŭŀḗş⟫</translation>
        </message>
        <message>
            <source>Remove Agent?</source>
            <translation>⟪Řḗḿǿṽḗ Ȧɠḗƞŧ?⟫</translation>
        </message>
        <message>
            <source>This will remove "%1" from this machine and the server. You approve it in the Quorvane panel.</source>
            <translation>⟪Ŧħīş ẇīŀŀ řḗḿǿṽḗ "%1" ƒřǿḿ ŧħīş ḿȧƈħīƞḗ ȧƞḓ ŧħḗ şḗřṽḗř. Ẏǿŭ ȧƥƥřǿṽḗ īŧ īƞ ŧħḗ Ɋŭǿřṽȧƞḗ ƥȧƞḗŀ.⟫</translation>
        </message>
        <message>
            <source>Remove</source>
            <translation>⟪Řḗḿǿṽḗ⟫</translation>
        </message>
        <message>
            <source>Uninstall Quorvane?</source>
            <translation>⟪Ŭƞīƞşŧȧŀŀ Ɋŭǿřṽȧƞḗ?⟫</translation>
        </message>
        <message>
            <source>This will remove Quorvane from this machine.</source>
            <translation>⟪Ŧħīş ẇīŀŀ řḗḿǿṽḗ Ɋŭǿřṽȧƞḗ ƒřǿḿ ŧħīş ḿȧƈħīƞḗ.⟫</translation>
        </message>
        <message>
            <source>Uninstall</source>
            <translation>⟪Ŭƞīƞşŧȧŀŀ⟫</translation>
        </message>
        <message>
            <source>This will unregister 1 agent from the server and remove Quorvane from this machine. You approve it in the Quorvane panel. You can also remove your global rules.</source>
            <translation>⟪Ŧħīş ẇīŀŀ ŭƞřḗɠīşŧḗř 1 ȧɠḗƞŧ ƒřǿḿ ŧħḗ şḗřṽḗř ȧƞḓ řḗḿǿṽḗ Ɋŭǿřṽȧƞḗ ƒřǿḿ ŧħīş ḿȧƈħīƞḗ. Ẏǿŭ ȧƥƥřǿṽḗ īŧ īƞ ŧħḗ Ɋŭǿřṽȧƞḗ ƥȧƞḗŀ. Ẏǿŭ ƈȧƞ ȧŀşǿ řḗḿǿṽḗ ẏǿŭř ɠŀǿƀȧŀ řŭŀḗş.⟫</translation>
        </message>
        <message>
            <source>This will unregister %1 agents from the server and remove Quorvane from this machine. You approve it in the Quorvane panel. You can also remove your global rules.</source>
            <translation>⟪Ŧħīş ẇīŀŀ ŭƞřḗɠīşŧḗř %1 ȧɠḗƞŧş ƒřǿḿ ŧħḗ şḗřṽḗř ȧƞḓ řḗḿǿṽḗ Ɋŭǿřṽȧƞḗ ƒřǿḿ ŧħīş ḿȧƈħīƞḗ. Ẏǿŭ ȧƥƥřǿṽḗ īŧ īƞ ŧħḗ Ɋŭǿřṽȧƞḗ ƥȧƞḗŀ. Ẏǿŭ ƈȧƞ ȧŀşǿ řḗḿǿṽḗ ẏǿŭř ɠŀǿƀȧŀ řŭŀḗş.⟫</translation>
        </message>
        <message>
            <source>Uninstall &amp; Keep Rules</source>
            <translation>⟪Ŭƞīƞşŧȧŀŀ &amp; Ķḗḗƥ Řŭŀḗş⟫</translation>
        </message>
        <message>
            <source>Uninstall &amp; Delete Rules</source>
            <translation>⟪Ŭƞīƞşŧȧŀŀ &amp; Ḓḗŀḗŧḗ Řŭŀḗş⟫</translation>
        </message>
    </context>
    <context>
        <name>ConnectionStatus</name>
        <message>
            <source>Offline — retrying in %1 s</source>
            <translation>⟪Ǿƒƒŀīƞḗ — řḗŧřẏīƞɠ īƞ %1 ş⟫</translation>
        </message>
        <message>
            <source>Back online</source>
            <translation>⟪Ɓȧƈķ ǿƞŀīƞḗ⟫</translation>
        </message>
        <message>
            <source>Quorvane could not be reached (%1); the live connection is down too.</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ ƈǿŭŀḓ ƞǿŧ ƀḗ řḗȧƈħḗḓ (%1); ŧħḗ ŀīṽḗ ƈǿƞƞḗƈŧīǿƞ īş ḓǿẇƞ ŧǿǿ.⟫</translation>
        </message>
    </context>
    <context>
        <name>DashboardAttention</name>
        <message>
            <source>The server refused this machine's identity.</source>
            <translation>⟪Ŧħḗ şḗřṽḗř řḗƒŭşḗḓ ŧħīş ḿȧƈħīƞḗ'ş īḓḗƞŧīŧẏ.⟫</translation>
        </message>
        <message>
            <source>Set up this machine again</source>
            <translation>⟪Şḗŧ ŭƥ ŧħīş ḿȧƈħīƞḗ ȧɠȧīƞ⟫</translation>
        </message>
        <message>
            <source>Paused: the popover does not open for new requests.</source>
            <translation>⟪Ƥȧŭşḗḓ: ŧħḗ ƥǿƥǿṽḗř ḓǿḗş ƞǿŧ ǿƥḗƞ ƒǿř ƞḗẇ řḗɋŭḗşŧş.⟫</translation>
        </message>
        <message>
            <source>Resume</source>
            <translation>⟪Řḗşŭḿḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>DashboardHeader</name>
        <message>
            <source>Quorvane</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>CLI v%1</source>
            <translation>⟪ƇĿĪ ṽ%1⟫</translation>
        </message>
        <message>
            <source>Quit Quorvane</source>
            <translation>⟪Ɋŭīŧ Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>v%1</source>
            <translation>⟪ṽ%1⟫</translation>
        </message>
    </context>
    <context>
        <name>DashboardUpdateBanner</name>
        <message>
            <source>Downloading update... %1</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓīƞɠ ŭƥḓȧŧḗ... %1⟫</translation>
        </message>
        <message>
            <source>Update Failed</source>
            <translation>⟪Ŭƥḓȧŧḗ Ƒȧīŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Update Available</source>
            <translation>⟪Ŭƥḓȧŧḗ Ȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source> · update it with your package manager</source>
            <translation>⟪ · ŭƥḓȧŧḗ īŧ ẇīŧħ ẏǿŭř ƥȧƈķȧɠḗ ḿȧƞȧɠḗř⟫</translation>
        </message>
        <message>
            <source>Update</source>
            <translation>⟪Ŭƥḓȧŧḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>DashboardView</name>
        <message>
            <source>System</source>
            <translation>⟪Şẏşŧḗḿ⟫</translation>
        </message>
        <message>
            <source>History</source>
            <translation>⟪Ħīşŧǿřẏ⟫</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>⟪Ƈŀǿşḗ⟫</translation>
        </message>
        <message>
            <source>Uninstall</source>
            <translation>⟪Ŭƞīƞşŧȧŀŀ⟫</translation>
        </message>
    </context>
    <context>
        <name>DateTimePicker</name>
        <message>
            <source>%1 day</source>
            <translation>⟪%1 ḓȧẏ⟫</translation>
        </message>
        <message>
            <source>%1 hour</source>
            <translation>⟪%1 ħǿŭř⟫</translation>
        </message>
        <message>
            <source>:</source>
            <translation>⟪:⟫</translation>
        </message>
        <message>
            <source>%1 minute</source>
            <translation>⟪%1 ḿīƞŭŧḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>DecisionButtons</name>
        <message>
            <source>Approve</source>
            <translation>⟪Ȧƥƥřǿṽḗ⟫</translation>
        </message>
        <message>
            <source>Deny</source>
            <translation>⟪Ḓḗƞẏ⟫</translation>
        </message>
    </context>
    <context>
        <name>DecisionStatusLine</name>
        <message>
            <source>Retry</source>
            <translation>⟪Řḗŧřẏ⟫</translation>
        </message>
        <message>
            <source>Retry the decision</source>
            <translation>⟪Řḗŧřẏ ŧħḗ ḓḗƈīşīǿƞ⟫</translation>
        </message>
    </context>
    <context>
        <name>DependencyService</name>
        <message>
            <source>Download failed: bad status</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓ ƒȧīŀḗḓ: ƀȧḓ şŧȧŧŭş⟫</translation>
        </message>
        <message>
            <source>Ollama is not available for this machine's architecture (%1)</source>
            <translation>⟪Ǿŀŀȧḿȧ īş ƞǿŧ ȧṽȧīŀȧƀŀḗ ƒǿř ŧħīş ḿȧƈħīƞḗ'ş ȧřƈħīŧḗƈŧŭřḗ (%1)⟫</translation>
        </message>
        <message>
            <source>Download failed: another download is in progress</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓ ƒȧīŀḗḓ: ȧƞǿŧħḗř ḓǿẇƞŀǿȧḓ īş īƞ ƥřǿɠřḗşş⟫</translation>
        </message>
        <message>
            <source>Download failed: invalid file name</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓ ƒȧīŀḗḓ: īƞṽȧŀīḓ ƒīŀḗ ƞȧḿḗ⟫</translation>
        </message>
        <message>
            <source>Download failed: no network access</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓ ƒȧīŀḗḓ: ƞǿ ƞḗŧẇǿřķ ȧƈƈḗşş⟫</translation>
        </message>
        <message>
            <source>Could not create a temporary folder in %1</source>
            <translation>⟪Ƈǿŭŀḓ ƞǿŧ ƈřḗȧŧḗ ȧ ŧḗḿƥǿřȧřẏ ƒǿŀḓḗř īƞ %1⟫</translation>
        </message>
        <message>
            <source>Invalid Ollama download URL</source>
            <translation>⟪Īƞṽȧŀīḓ Ǿŀŀȧḿȧ ḓǿẇƞŀǿȧḓ ŬŘĿ⟫</translation>
        </message>
        <message>
            <source>Ollama install blocked: this build pins no digest for it</source>
            <translation>⟪Ǿŀŀȧḿȧ īƞşŧȧŀŀ ƀŀǿƈķḗḓ: ŧħīş ƀŭīŀḓ ƥīƞş ƞǿ ḓīɠḗşŧ ƒǿř īŧ⟫</translation>
        </message>
        <message>
            <source>Ollama install blocked: the download does not match its pinned digest</source>
            <translation>⟪Ǿŀŀȧḿȧ īƞşŧȧŀŀ ƀŀǿƈķḗḓ: ŧħḗ ḓǿẇƞŀǿȧḓ ḓǿḗş ƞǿŧ ḿȧŧƈħ īŧş ƥīƞƞḗḓ ḓīɠḗşŧ⟫</translation>
        </message>
        <message>
            <source>Admin setup failed: no administrator prompt available</source>
            <translation>⟪Ȧḓḿīƞ şḗŧŭƥ ƒȧīŀḗḓ: ƞǿ ȧḓḿīƞīşŧřȧŧǿř ƥřǿḿƥŧ ȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source>Ollama not found after install</source>
            <translation>⟪Ǿŀŀȧḿȧ ƞǿŧ ƒǿŭƞḓ ȧƒŧḗř īƞşŧȧŀŀ⟫</translation>
        </message>
        <message>
            <source>This build of Quorvane pins no digest for the Ollama engine, so it cannot install it</source>
            <translation>⟪Ŧħīş ƀŭīŀḓ ǿƒ Ɋŭǿřṽȧƞḗ ƥīƞş ƞǿ ḓīɠḗşŧ ƒǿř ŧħḗ Ǿŀŀȧḿȧ ḗƞɠīƞḗ, şǿ īŧ ƈȧƞƞǿŧ īƞşŧȧŀŀ īŧ⟫</translation>
        </message>
    </context>
    <context>
        <name>DoneScreen</name>
        <message>
            <source>You're all set!</source>
            <translation>⟪Ẏǿŭ'řḗ ȧŀŀ şḗŧ!⟫</translation>
        </message>
        <message>
            <source>Ready to approve requests from your other machines.</source>
            <translation>⟪Řḗȧḓẏ ŧǿ ȧƥƥřǿṽḗ řḗɋŭḗşŧş ƒřǿḿ ẏǿŭř ǿŧħḗř ḿȧƈħīƞḗş.⟫</translation>
        </message>
        <message>
            <source>Quorvane is protecting your AI tools.</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ īş ƥřǿŧḗƈŧīƞɠ ẏǿŭř ȦĪ ŧǿǿŀş.⟫</translation>
        </message>
        <message>
            <source>Signed in as </source>
            <translation>⟪Şīɠƞḗḓ īƞ ȧş ⟫</translation>
        </message>
        <message>
            <source>Approval device — no local agents</source>
            <translation>⟪Ȧƥƥřǿṽȧŀ ḓḗṽīƈḗ — ƞǿ ŀǿƈȧŀ ȧɠḗƞŧş⟫</translation>
        </message>
        <message>
            <source>%1 — %2 agent "%3"</source>
            <translation>⟪%1 — %2 ȧɠḗƞŧ "%3"⟫</translation>
        </message>
        <message>
            <source>%1 template (%2 rules)</source>
            <translation>⟪%1 ŧḗḿƥŀȧŧḗ (%2 řŭŀḗş)⟫</translation>
        </message>
        <message>
            <source>Gemma 4 installed</source>
            <translation>⟪Ɠḗḿḿȧ 4 īƞşŧȧŀŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Gemma 4 downloading... </source>
            <translation>⟪Ɠḗḿḿȧ 4 ḓǿẇƞŀǿȧḓīƞɠ... ⟫</translation>
        </message>
        <message>
            <source>Gemma 4 download failed</source>
            <translation>⟪Ɠḗḿḿȧ 4 ḓǿẇƞŀǿȧḓ ƒȧīŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Review suggestions in the </source>
            <translation>⟪Řḗṽīḗẇ şŭɠɠḗşŧīǿƞş īƞ ŧħḗ ⟫</translation>
        </message>
        <message>
            <source>web dashboard</source>
            <translation>⟪ẇḗƀ ḓȧşħƀǿȧřḓ⟫</translation>
        </message>
        <message>
            <source>Download continues in the background</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓ ƈǿƞŧīƞŭḗş īƞ ŧħḗ ƀȧƈķɠřǿŭƞḓ⟫</translation>
        </message>
        <message>
            <source>You can close this window. Open Quorvane later to run the activity scan.</source>
            <translation>⟪Ẏǿŭ ƈȧƞ ƈŀǿşḗ ŧħīş ẇīƞḓǿẇ. Ǿƥḗƞ Ɋŭǿřṽȧƞḗ ŀȧŧḗř ŧǿ řŭƞ ŧħḗ ȧƈŧīṽīŧẏ şƈȧƞ.⟫</translation>
        </message>
        <message>
            <source>Approve actions from this computer (password or fingerprint) or the </source>
            <translation>⟪Ȧƥƥřǿṽḗ ȧƈŧīǿƞş ƒřǿḿ ŧħīş ƈǿḿƥŭŧḗř (ƥȧşşẇǿřḓ ǿř ƒīƞɠḗřƥřīƞŧ) ǿř ŧħḗ ⟫</translation>
        </message>
        <message>
            <source>Quorvane iOS app</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ īǾŞ ȧƥƥ⟫</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>⟪Ƈŀǿşḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>EscalationNotice</name>
        <message>
            <source>%1 (%2): %3</source>
            <translation>⟪%1 (%2): %3⟫</translation>
        </message>
        <message>
            <source>Approval needed</source>
            <translation>⟪Ȧƥƥřǿṽȧŀ ƞḗḗḓḗḓ⟫</translation>
        </message>
        <message>
            <source>An agent is waiting for your decision. Click to review it.</source>
            <translation>⟪Ȧƞ ȧɠḗƞŧ īş ẇȧīŧīƞɠ ƒǿř ẏǿŭř ḓḗƈīşīǿƞ. Ƈŀīƈķ ŧǿ řḗṽīḗẇ īŧ.⟫</translation>
        </message>
        <message>
            <source>Review</source>
            <translation>⟪Řḗṽīḗẇ⟫</translation>
        </message>
        <message>
            <source>Deny</source>
            <translation>⟪Ḓḗƞẏ⟫</translation>
        </message>
        <message>
            <source>Approve</source>
            <translation>⟪Ȧƥƥřǿṽḗ⟫</translation>
        </message>
        <message>
            <source>Decision not sent</source>
            <translation>⟪Ḓḗƈīşīǿƞ ƞǿŧ şḗƞŧ⟫</translation>
        </message>
        <message>
            <source>Your decision did not reach the server, so nothing was decided. Review it to try again.</source>
            <translation>⟪Ẏǿŭř ḓḗƈīşīǿƞ ḓīḓ ƞǿŧ řḗȧƈħ ŧħḗ şḗřṽḗř, şǿ ƞǿŧħīƞɠ ẇȧş ḓḗƈīḓḗḓ. Řḗṽīḗẇ īŧ ŧǿ ŧřẏ ȧɠȧīƞ.⟫</translation>
        </message>
    </context>
    <context>
        <name>FeaturesSection</name>
        <message>
            <source>Features</source>
            <translation>⟪Ƒḗȧŧŭřḗş⟫</translation>
        </message>
        <message>
            <source>Local AI Model</source>
            <translation>⟪Ŀǿƈȧŀ ȦĪ Ḿǿḓḗŀ⟫</translation>
        </message>
        <message>
            <source>Gemma 4 via Ollama</source>
            <translation>⟪Ɠḗḿḿȧ 4 ṽīȧ Ǿŀŀȧḿȧ⟫</translation>
        </message>
        <message>
            <source>Installed</source>
            <translation>⟪Īƞşŧȧŀŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Model download</source>
            <translation>⟪Ḿǿḓḗŀ ḓǿẇƞŀǿȧḓ⟫</translation>
        </message>
        <message>
            <source>Download</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓ⟫</translation>
        </message>
        <message>
            <source>Download the local AI model</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓ ŧħḗ ŀǿƈȧŀ ȦĪ ḿǿḓḗŀ⟫</translation>
        </message>
        <message>
            <source>Installing…</source>
            <translation>⟪Īƞşŧȧŀŀīƞɠ…⟫</translation>
        </message>
        <message>
            <source>Install</source>
            <translation>⟪Īƞşŧȧŀŀ⟫</translation>
        </message>
        <message>
            <source>Install the local AI model</source>
            <translation>⟪Īƞşŧȧŀŀ ŧħḗ ŀǿƈȧŀ ȦĪ ḿǿḓḗŀ⟫</translation>
        </message>
        <message>
            <source>Not installed</source>
            <translation>⟪Ƞǿŧ īƞşŧȧŀŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Activity Analysis</source>
            <translation>⟪Ȧƈŧīṽīŧẏ Ȧƞȧŀẏşīş⟫</translation>
        </message>
        <message>
            <source>Scanning...</source>
            <translation>⟪Şƈȧƞƞīƞɠ...⟫</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>⟪Ƈȧƞƈḗŀ⟫</translation>
        </message>
        <message>
            <source>Cancel the activity analysis</source>
            <translation>⟪Ƈȧƞƈḗŀ ŧħḗ ȧƈŧīṽīŧẏ ȧƞȧŀẏşīş⟫</translation>
        </message>
        <message>
            <source>Requires LLM</source>
            <translation>⟪Řḗɋŭīřḗş ĿĿḾ⟫</translation>
        </message>
        <message>
            <source>Re-scan</source>
            <translation>⟪Řḗ-şƈȧƞ⟫</translation>
        </message>
        <message>
            <source>Re-scan tool history</source>
            <translation>⟪Řḗ-şƈȧƞ ŧǿǿŀ ħīşŧǿřẏ⟫</translation>
        </message>
        <message>
            <source>MCP AI Summaries</source>
            <translation>⟪ḾƇƤ ȦĪ Şŭḿḿȧřīḗş⟫</translation>
        </message>
        <message>
            <source>Gemma 4 describes MCP actions before approval</source>
            <translation>⟪Ɠḗḿḿȧ 4 ḓḗşƈřīƀḗş ḾƇƤ ȧƈŧīǿƞş ƀḗƒǿřḗ ȧƥƥřǿṽȧŀ⟫</translation>
        </message>
    </context>
    <context>
        <name>FreezeAll</name>
        <message>
            <source>Denied 1 action</source>
            <translation>⟪Ḓḗƞīḗḓ 1 ȧƈŧīǿƞ⟫</translation>
        </message>
        <message>
            <source>Denied %1 actions</source>
            <translation>⟪Ḓḗƞīḗḓ %1 ȧƈŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>%1 already decided elsewhere</source>
            <translation>⟪%1 ȧŀřḗȧḓẏ ḓḗƈīḓḗḓ ḗŀşḗẇħḗřḗ⟫</translation>
        </message>
        <message>
            <source>ended the trust window</source>
            <translation>⟪ḗƞḓḗḓ ŧħḗ ŧřŭşŧ ẇīƞḓǿẇ⟫</translation>
        </message>
        <message>
            <source>Nothing was pending</source>
            <translation>⟪Ƞǿŧħīƞɠ ẇȧş ƥḗƞḓīƞɠ⟫</translation>
        </message>
        <message>
            <source>1 action could not be denied</source>
            <translation>⟪1 ȧƈŧīǿƞ ƈǿŭŀḓ ƞǿŧ ƀḗ ḓḗƞīḗḓ⟫</translation>
        </message>
        <message>
            <source>%1 actions could not be denied</source>
            <translation>⟪%1 ȧƈŧīǿƞş ƈǿŭŀḓ ƞǿŧ ƀḗ ḓḗƞīḗḓ⟫</translation>
        </message>
        <message>
            <source>the back-end did not confirm the end of the trust window</source>
            <translation>⟪ŧħḗ ƀȧƈķ-ḗƞḓ ḓīḓ ƞǿŧ ƈǿƞƒīřḿ ŧħḗ ḗƞḓ ǿƒ ŧħḗ ŧřŭşŧ ẇīƞḓǿẇ⟫</translation>
        </message>
        <message>
            <source>. Failed: %1</source>
            <translation>⟪. Ƒȧīŀḗḓ: %1⟫</translation>
        </message>
        <message>
            <source>the pending action</source>
            <translation>⟪ŧħḗ ƥḗƞḓīƞɠ ȧƈŧīǿƞ⟫</translation>
        </message>
        <message>
            <source>all %1 pending actions</source>
            <translation>⟪ȧŀŀ %1 ƥḗƞḓīƞɠ ȧƈŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>Deny %1, end any trust window and stop opening for new requests?</source>
            <translation>⟪Ḓḗƞẏ %1, ḗƞḓ ȧƞẏ ŧřŭşŧ ẇīƞḓǿẇ ȧƞḓ şŧǿƥ ǿƥḗƞīƞɠ ƒǿř ƞḗẇ řḗɋŭḗşŧş?⟫</translation>
        </message>
    </context>
    <context>
        <name>FreezeBar</name>
        <message>
            <source>Something looks wrong?</source>
            <translation>⟪Şǿḿḗŧħīƞɠ ŀǿǿķş ẇřǿƞɠ?⟫</translation>
        </message>
        <message>
            <source>Freeze all</source>
            <translation>⟪Ƒřḗḗẑḗ ȧŀŀ⟫</translation>
        </message>
        <message>
            <source>Freeze all: deny every pending action and end the trust window</source>
            <translation>⟪Ƒřḗḗẑḗ ȧŀŀ: ḓḗƞẏ ḗṽḗřẏ ƥḗƞḓīƞɠ ȧƈŧīǿƞ ȧƞḓ ḗƞḓ ŧħḗ ŧřŭşŧ ẇīƞḓǿẇ⟫</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>⟪Ƈȧƞƈḗŀ⟫</translation>
        </message>
        <message>
            <source>Freeze</source>
            <translation>⟪Ƒřḗḗẑḗ⟫</translation>
        </message>
        <message>
            <source>Freezing…</source>
            <translation>⟪Ƒřḗḗẑīƞɠ…⟫</translation>
        </message>
        <message>
            <source>Retry</source>
            <translation>⟪Řḗŧřẏ⟫</translation>
        </message>
        <message>
            <source>Retry the freeze</source>
            <translation>⟪Řḗŧřẏ ŧħḗ ƒřḗḗẑḗ⟫</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>⟪ǾĶ⟫</translation>
        </message>
        <message>
            <source>Dismiss the freeze report</source>
            <translation>⟪Ḓīşḿīşş ŧħḗ ƒřḗḗẑḗ řḗƥǿřŧ⟫</translation>
        </message>
    </context>
    <context>
        <name>HelpLink</name>
        <message>
            <source>Need help? View setup guide</source>
            <translation>⟪Ƞḗḗḓ ħḗŀƥ? Ṽīḗẇ şḗŧŭƥ ɠŭīḓḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>HistoryView</name>
        <message>
            <source>History</source>
            <translation>⟪Ħīşŧǿřẏ⟫</translation>
        </message>
        <message>
            <source>Back</source>
            <translation>⟪Ɓȧƈķ⟫</translation>
        </message>
        <message>
            <source>Back to the dashboard</source>
            <translation>⟪Ɓȧƈķ ŧǿ ŧħḗ ḓȧşħƀǿȧřḓ⟫</translation>
        </message>
        <message>
            <source>Search commands, agents, tools</source>
            <translation>⟪Şḗȧřƈħ ƈǿḿḿȧƞḓş, ȧɠḗƞŧş, ŧǿǿŀş⟫</translation>
        </message>
        <message>
            <source>Search the history</source>
            <translation>⟪Şḗȧřƈħ ŧħḗ ħīşŧǿřẏ⟫</translation>
        </message>
        <message>
            <source>All</source>
            <translation>⟪Ȧŀŀ⟫</translation>
        </message>
        <message>
            <source>Approved</source>
            <translation>⟪Ȧƥƥřǿṽḗḓ⟫</translation>
        </message>
        <message>
            <source>Denied</source>
            <translation>⟪Ḓḗƞīḗḓ⟫</translation>
        </message>
        <message>
            <source>Trust window</source>
            <translation>⟪Ŧřŭşŧ ẇīƞḓǿẇ⟫</translation>
        </message>
        <message>
            <source>All agents</source>
            <translation>⟪Ȧŀŀ ȧɠḗƞŧş⟫</translation>
        </message>
        <message>
            <source>No decisions match.</source>
            <translation>⟪Ƞǿ ḓḗƈīşīǿƞş ḿȧŧƈħ.⟫</translation>
        </message>
        <message>
            <source> · rule: %1</source>
            <translation>⟪ · řŭŀḗ: %1⟫</translation>
        </message>
        <message>
            <source>✓ signature verified</source>
            <translation>⟪✓ şīɠƞȧŧŭřḗ ṽḗřīƒīḗḓ⟫</translation>
        </message>
        <message>
            <source>Check signature</source>
            <translation>⟪Ƈħḗƈķ şīɠƞȧŧŭřḗ⟫</translation>
        </message>
        <message>
            <source>Check the signature of: %1</source>
            <translation>⟪Ƈħḗƈķ ŧħḗ şīɠƞȧŧŭřḗ ǿƒ: %1⟫</translation>
        </message>
    </context>
    <context>
        <name>HomeState</name>
        <message>
            <source>Removal of "%1" failed or was denied.</source>
            <translation>⟪Řḗḿǿṽȧŀ ǿƒ "%1" ƒȧīŀḗḓ ǿř ẇȧş ḓḗƞīḗḓ.⟫</translation>
        </message>
        <message>
            <source>Scan tool history for rule suggestions</source>
            <translation>⟪Şƈȧƞ ŧǿǿŀ ħīşŧǿřẏ ƒǿř řŭŀḗ şŭɠɠḗşŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>1 suggestion found</source>
            <translation>⟪1 şŭɠɠḗşŧīǿƞ ƒǿŭƞḓ⟫</translation>
        </message>
        <message>
            <source>%1 suggestions found</source>
            <translation>⟪%1 şŭɠɠḗşŧīǿƞş ƒǿŭƞḓ⟫</translation>
        </message>
    </context>
    <context>
        <name>InstallPhase</name>
        <message>
            <source>Installation failed</source>
            <translation>⟪Īƞşŧȧŀŀȧŧīǿƞ ƒȧīŀḗḓ⟫</translation>
        </message>
        <message>
            <source>%1. You can install the local model later from the dashboard</source>
            <translation>⟪%1. Ẏǿŭ ƈȧƞ īƞşŧȧŀŀ ŧħḗ ŀǿƈȧŀ ḿǿḓḗŀ ŀȧŧḗř ƒřǿḿ ŧħḗ ḓȧşħƀǿȧřḓ⟫</translation>
        </message>
        <message>
            <source>Ollama installer unavailable</source>
            <translation>⟪Ǿŀŀȧḿȧ īƞşŧȧŀŀḗř ŭƞȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source>the product tool is unavailable</source>
            <translation>⟪ŧħḗ ƥřǿḓŭƈŧ ŧǿǿŀ īş ŭƞȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source>Machine registration unavailable</source>
            <translation>⟪Ḿȧƈħīƞḗ řḗɠīşŧřȧŧīǿƞ ŭƞȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source>Not signed in: sign in again to register this computer</source>
            <translation>⟪Ƞǿŧ şīɠƞḗḓ īƞ: şīɠƞ īƞ ȧɠȧīƞ ŧǿ řḗɠīşŧḗř ŧħīş ƈǿḿƥŭŧḗř⟫</translation>
        </message>
        <message>
            <source>Machine registration left no usable identity</source>
            <translation>⟪Ḿȧƈħīƞḗ řḗɠīşŧřȧŧīǿƞ ŀḗƒŧ ƞǿ ŭşȧƀŀḗ īḓḗƞŧīŧẏ⟫</translation>
        </message>
        <message>
            <source>This computer has no machine identity; registration must succeed first</source>
            <translation>⟪Ŧħīş ƈǿḿƥŭŧḗř ħȧş ƞǿ ḿȧƈħīƞḗ īḓḗƞŧīŧẏ; řḗɠīşŧřȧŧīǿƞ ḿŭşŧ şŭƈƈḗḗḓ ƒīřşŧ⟫</translation>
        </message>
    </context>
    <context>
        <name>InstallScreen</name>
        <message>
            <source>Install Quorvane</source>
            <translation>⟪Īƞşŧȧŀŀ Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>We'll set up everything needed to protect your AI tools.</source>
            <translation>⟪Ẇḗ'ŀŀ şḗŧ ŭƥ ḗṽḗřẏŧħīƞɠ ƞḗḗḓḗḓ ŧǿ ƥřǿŧḗƈŧ ẏǿŭř ȦĪ ŧǿǿŀş.⟫</translation>
        </message>
        <message>
            <source>Your system may ask for permission during installation</source>
            <translation>⟪Ẏǿŭř şẏşŧḗḿ ḿȧẏ ȧşķ ƒǿř ƥḗřḿīşşīǿƞ ḓŭřīƞɠ īƞşŧȧŀŀȧŧīǿƞ⟫</translation>
        </message>
        <message>
            <source>Local AI Model</source>
            <translation>⟪Ŀǿƈȧŀ ȦĪ Ḿǿḓḗŀ⟫</translation>
        </message>
        <message>
            <source>Install Gemma 4</source>
            <translation>⟪Īƞşŧȧŀŀ Ɠḗḿḿȧ 4⟫</translation>
        </message>
        <message>
            <source>(optional)</source>
            <translation>⟪(ǿƥŧīǿƞȧŀ)⟫</translation>
        </message>
        <message>
            <source>~3.6 GB · runs locally · Apache 2.0</source>
            <translation>⟪~3.6 ƓƁ · řŭƞş ŀǿƈȧŀŀẏ · Ȧƥȧƈħḗ 2.0⟫</translation>
        </message>
        <message>
            <source>Gemma 4 runs privately on your computer to analyze your activity and suggest personalized security rules.</source>
            <translation>⟪Ɠḗḿḿȧ 4 řŭƞş ƥřīṽȧŧḗŀẏ ǿƞ ẏǿŭř ƈǿḿƥŭŧḗř ŧǿ ȧƞȧŀẏẑḗ ẏǿŭř ȧƈŧīṽīŧẏ ȧƞḓ şŭɠɠḗşŧ ƥḗřşǿƞȧŀīẑḗḓ şḗƈŭřīŧẏ řŭŀḗş.⟫</translation>
        </message>
        <message>
            <source>Downloads in the background while you continue setup.</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓş īƞ ŧħḗ ƀȧƈķɠřǿŭƞḓ ẇħīŀḗ ẏǿŭ ƈǿƞŧīƞŭḗ şḗŧŭƥ.⟫</translation>
        </message>
        <message>
            <source>Ollama engine</source>
            <translation>⟪Ǿŀŀȧḿȧ ḗƞɠīƞḗ⟫</translation>
        </message>
        <message>
            <source>MCP Servers</source>
            <translation>⟪ḾƇƤ Şḗřṽḗřş⟫</translation>
        </message>
        <message>
            <source>Discover MCP Servers</source>
            <translation>⟪Ḓīşƈǿṽḗř ḾƇƤ Şḗřṽḗřş⟫</translation>
        </message>
        <message>
            <source>Discover connected services so approval cards show what's being accessed.</source>
            <translation>⟪Ḓīşƈǿṽḗř ƈǿƞƞḗƈŧḗḓ şḗřṽīƈḗş şǿ ȧƥƥřǿṽȧŀ ƈȧřḓş şħǿẇ ẇħȧŧ'ş ƀḗīƞɠ ȧƈƈḗşşḗḓ.⟫</translation>
        </message>
        <message>
            <source>Scans agent settings for installed MCP configuration. Only server names and basic metadata are collected.</source>
            <translation>⟪Şƈȧƞş ȧɠḗƞŧ şḗŧŧīƞɠş ƒǿř īƞşŧȧŀŀḗḓ ḾƇƤ ƈǿƞƒīɠŭřȧŧīǿƞ. Ǿƞŀẏ şḗřṽḗř ƞȧḿḗş ȧƞḓ ƀȧşīƈ ḿḗŧȧḓȧŧȧ ȧřḗ ƈǿŀŀḗƈŧḗḓ.⟫</translation>
        </message>
        <message>
            <source>Approval Device Only</source>
            <translation>⟪Ȧƥƥřǿṽȧŀ Ḓḗṽīƈḗ Ǿƞŀẏ⟫</translation>
        </message>
        <message>
            <source>Use this machine only to approve requests from agents on other machines.</source>
            <translation>⟪Ŭşḗ ŧħīş ḿȧƈħīƞḗ ǿƞŀẏ ŧǿ ȧƥƥřǿṽḗ řḗɋŭḗşŧş ƒřǿḿ ȧɠḗƞŧş ǿƞ ǿŧħḗř ḿȧƈħīƞḗş.⟫</translation>
        </message>
        <message>
            <source>Quorvane command-line tool</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ ƈǿḿḿȧƞḓ-ŀīƞḗ ŧǿǿŀ⟫</translation>
        </message>
        <message>
            <source>Secure key storage</source>
            <translation>⟪Şḗƈŭřḗ ķḗẏ şŧǿřȧɠḗ⟫</translation>
        </message>
        <message>
            <source>Machine registration</source>
            <translation>⟪Ḿȧƈħīƞḗ řḗɠīşŧřȧŧīǿƞ⟫</translation>
        </message>
        <message>
            <source>Looking for AI tools on this computer…</source>
            <translation>⟪Ŀǿǿķīƞɠ ƒǿř ȦĪ ŧǿǿŀş ǿƞ ŧħīş ƈǿḿƥŭŧḗř…⟫</translation>
        </message>
        <message>
            <source>Retry</source>
            <translation>⟪Řḗŧřẏ⟫</translation>
        </message>
        <message>
            <source>Install &amp; Continue →</source>
            <translation>⟪Īƞşŧȧŀŀ &amp; Ƈǿƞŧīƞŭḗ →⟫</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>⟪Ƈȧƞƈḗŀ⟫</translation>
        </message>
    </context>
    <context>
        <name>LLMDownloadingPill</name>
        <message>
            <source>Gemma 4 downloading... </source>
            <translation>⟪Ɠḗḿḿȧ 4 ḓǿẇƞŀǿȧḓīƞɠ... ⟫</translation>
        </message>
    </context>
    <context>
        <name>LLMReadyPill</name>
        <message>
            <source>Gemma 4 ready</source>
            <translation>⟪Ɠḗḿḿȧ 4 řḗȧḓẏ⟫</translation>
        </message>
    </context>
    <context>
        <name>LLMWarningView</name>
        <message>
            <source>Without Gemma 4, these features won't be available:</source>
            <translation>⟪Ẇīŧħǿŭŧ Ɠḗḿḿȧ 4, ŧħḗşḗ ƒḗȧŧŭřḗş ẇǿƞ'ŧ ƀḗ ȧṽȧīŀȧƀŀḗ:⟫</translation>
        </message>
        <message>
            <source>• Smart rule suggestions based on your activity</source>
            <translation>⟪• Şḿȧřŧ řŭŀḗ şŭɠɠḗşŧīǿƞş ƀȧşḗḓ ǿƞ ẏǿŭř ȧƈŧīṽīŧẏ⟫</translation>
        </message>
        <message>
            <source>• Pattern detection across agent sessions</source>
            <translation>⟪• Ƥȧŧŧḗřƞ ḓḗŧḗƈŧīǿƞ ȧƈřǿşş ȧɠḗƞŧ şḗşşīǿƞş⟫</translation>
        </message>
        <message>
            <source>You can install later via quorvane download-model</source>
            <translation>⟪Ẏǿŭ ƈȧƞ īƞşŧȧŀŀ ŀȧŧḗř ṽīȧ ɋŭǿřṽȧƞḗ ḓǿẇƞŀǿȧḓ-ḿǿḓḗŀ⟫</translation>
        </message>
    </context>
    <context>
        <name>ModelRuntimeServer</name>
        <message>
            <source>Ollama server could not start: %1</source>
            <translation>⟪Ǿŀŀȧḿȧ şḗřṽḗř ƈǿŭŀḓ ƞǿŧ şŧȧřŧ: %1⟫</translation>
        </message>
        <message>
            <source>Could not remove the local model service at %1</source>
            <translation>⟪Ƈǿŭŀḓ ƞǿŧ řḗḿǿṽḗ ŧħḗ ŀǿƈȧŀ ḿǿḓḗŀ şḗřṽīƈḗ ȧŧ %1⟫</translation>
        </message>
        <message>
            <source>Stopped and removed the local model service (%1)</source>
            <translation>⟪Şŧǿƥƥḗḓ ȧƞḓ řḗḿǿṽḗḓ ŧħḗ ŀǿƈȧŀ ḿǿḓḗŀ şḗřṽīƈḗ (%1)⟫</translation>
        </message>
        <message>
            <source>it ended with status %1</source>
            <translation>⟪īŧ ḗƞḓḗḓ ẇīŧħ şŧȧŧŭş %1⟫</translation>
        </message>
        <message>
            <source>Ollama server did not answer on %1 within %2 s</source>
            <translation>⟪Ǿŀŀȧḿȧ şḗřṽḗř ḓīḓ ƞǿŧ ȧƞşẇḗř ǿƞ %1 ẇīŧħīƞ %2 ş⟫</translation>
        </message>
    </context>
    <context>
        <name>ModelRuntimeState</name>
        <message>
            <source>Available once the download finishes</source>
            <translation>⟪Ȧṽȧīŀȧƀŀḗ ǿƞƈḗ ŧħḗ ḓǿẇƞŀǿȧḓ ƒīƞīşħḗş⟫</translation>
        </message>
        <message>
            <source>Download the local AI model first</source>
            <translation>⟪Ḓǿẇƞŀǿȧḓ ŧħḗ ŀǿƈȧŀ ȦĪ ḿǿḓḗŀ ƒīřşŧ⟫</translation>
        </message>
        <message>
            <source>Needs the local AI model</source>
            <translation>⟪Ƞḗḗḓş ŧħḗ ŀǿƈȧŀ ȦĪ ḿǿḓḗŀ⟫</translation>
        </message>
    </context>
    <context>
        <name>NameField</name>
        <message>
            <source>agent name</source>
            <translation>⟪ȧɠḗƞŧ ƞȧḿḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>PanelPresentation</name>
        <message>
            <source>Actions (%1)</source>
            <translation>⟪Ȧƈŧīǿƞş (%1)⟫</translation>
        </message>
        <message>
            <source>Actions</source>
            <translation>⟪Ȧƈŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>Expired</source>
            <translation>⟪Ḗẋƥīřḗḓ⟫</translation>
        </message>
        <message>
            <source>%1:%2 remaining</source>
            <translation>⟪%1:%2 řḗḿȧīƞīƞɠ⟫</translation>
        </message>
        <message>
            <source>1 minute</source>
            <translation>⟪1 ḿīƞŭŧḗ⟫</translation>
        </message>
        <message>
            <source>%1 minutes</source>
            <translation>⟪%1 ḿīƞŭŧḗş⟫</translation>
        </message>
        <message>
            <source>1 second</source>
            <translation>⟪1 şḗƈǿƞḓ⟫</translation>
        </message>
        <message>
            <source>%1 seconds</source>
            <translation>⟪%1 şḗƈǿƞḓş⟫</translation>
        </message>
        <message>
            <source>high risk</source>
            <translation>⟪ħīɠħ řīşķ⟫</translation>
        </message>
        <message>
            <source>low risk</source>
            <translation>⟪ŀǿẇ řīşķ⟫</translation>
        </message>
        <message>
            <source>%1 left</source>
            <translation>⟪%1 ŀḗƒŧ⟫</translation>
        </message>
        <message>
            <source>expired</source>
            <translation>⟪ḗẋƥīřḗḓ⟫</translation>
        </message>
        <message>
            <source>Future %1 actions from %2 will be auto-approved.</source>
            <translation>⟪Ƒŭŧŭřḗ %1 ȧƈŧīǿƞş ƒřǿḿ %2 ẇīŀŀ ƀḗ ȧŭŧǿ-ȧƥƥřǿṽḗḓ.⟫</translation>
        </message>
        <message>
            <source>Future %1 actions from agents on %2 will be auto-approved.</source>
            <translation>⟪Ƒŭŧŭřḗ %1 ȧƈŧīǿƞş ƒřǿḿ ȧɠḗƞŧş ǿƞ %2 ẇīŀŀ ƀḗ ȧŭŧǿ-ȧƥƥřǿṽḗḓ.⟫</translation>
        </message>
        <message>
            <source>this machine</source>
            <translation>⟪ŧħīş ḿȧƈħīƞḗ⟫</translation>
        </message>
        <message>
            <source>Future %1 actions from any agent will be auto-approved.</source>
            <translation>⟪Ƒŭŧŭřḗ %1 ȧƈŧīǿƞş ƒřǿḿ ȧƞẏ ȧɠḗƞŧ ẇīŀŀ ƀḗ ȧŭŧǿ-ȧƥƥřǿṽḗḓ.⟫</translation>
        </message>
        <message>
            <source>Offline — trying to send the approval…</source>
            <translation>⟪Ǿƒƒŀīƞḗ — ŧřẏīƞɠ ŧǿ şḗƞḓ ŧħḗ ȧƥƥřǿṽȧŀ…⟫</translation>
        </message>
        <message>
            <source>Offline — trying to send the denial…</source>
            <translation>⟪Ǿƒƒŀīƞḗ — ŧřẏīƞɠ ŧǿ şḗƞḓ ŧħḗ ḓḗƞīȧŀ…⟫</translation>
        </message>
        <message>
            <source>Sending approval…</source>
            <translation>⟪Şḗƞḓīƞɠ ȧƥƥřǿṽȧŀ…⟫</translation>
        </message>
        <message>
            <source>Sending denial…</source>
            <translation>⟪Şḗƞḓīƞɠ ḓḗƞīȧŀ…⟫</translation>
        </message>
        <message>
            <source>Couldn't sign the decision — it was not sent</source>
            <translation>⟪Ƈǿŭŀḓƞ'ŧ şīɠƞ ŧħḗ ḓḗƈīşīǿƞ — īŧ ẇȧş ƞǿŧ şḗƞŧ⟫</translation>
        </message>
        <message>
            <source>Couldn't reach Quorvane — your decision was not recorded</source>
            <translation>⟪Ƈǿŭŀḓƞ'ŧ řḗȧƈħ Ɋŭǿřṽȧƞḗ — ẏǿŭř ḓḗƈīşīǿƞ ẇȧş ƞǿŧ řḗƈǿřḓḗḓ⟫</translation>
        </message>
        <message>
            <source>Quorvane had a problem (HTTP %1) — your decision was not recorded</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ ħȧḓ ȧ ƥřǿƀŀḗḿ (ĦŦŦƤ %1) — ẏǿŭř ḓḗƈīşīǿƞ ẇȧş ƞǿŧ řḗƈǿřḓḗḓ⟫</translation>
        </message>
        <message>
            <source>Quorvane refused the decision (HTTP %1) — it was not recorded</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ řḗƒŭşḗḓ ŧħḗ ḓḗƈīşīǿƞ (ĦŦŦƤ %1) — īŧ ẇȧş ƞǿŧ řḗƈǿřḓḗḓ⟫</translation>
        </message>
        <message>
            <source>Remove</source>
            <translation>⟪Řḗḿǿṽḗ⟫</translation>
        </message>
        <message>
            <source>Approve</source>
            <translation>⟪Ȧƥƥřǿṽḗ⟫</translation>
        </message>
        <message>
            <source>Keep Agent</source>
            <translation>⟪Ķḗḗƥ Ȧɠḗƞŧ⟫</translation>
        </message>
        <message>
            <source>Deny</source>
            <translation>⟪Ḓḗƞẏ⟫</translation>
        </message>
        <message>
            <source>every %1 action from %2</source>
            <translation>⟪ḗṽḗřẏ %1 ȧƈŧīǿƞ ƒřǿḿ %2⟫</translation>
        </message>
        <message>
            <source>every %1 action from any agent on %2</source>
            <translation>⟪ḗṽḗřẏ %1 ȧƈŧīǿƞ ƒřǿḿ ȧƞẏ ȧɠḗƞŧ ǿƞ %2⟫</translation>
        </message>
        <message>
            <source>every %1 action from any agent on any machine</source>
            <translation>⟪ḗṽḗřẏ %1 ȧƈŧīǿƞ ƒřǿḿ ȧƞẏ ȧɠḗƞŧ ǿƞ ȧƞẏ ḿȧƈħīƞḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>PauseTab</name>
        <message>
            <source>Start</source>
            <translation>⟪Şŧȧřŧ⟫</translation>
        </message>
        <message>
            <source>End</source>
            <translation>⟪Ḗƞḓ⟫</translation>
        </message>
        <message>
            <source>This copy of Quorvane does not include the policy. Install Quorvane from its package to use trust windows.</source>
            <translation>⟪Ŧħīş ƈǿƥẏ ǿƒ Ɋŭǿřṽȧƞḗ ḓǿḗş ƞǿŧ īƞƈŀŭḓḗ ŧħḗ ƥǿŀīƈẏ. Īƞşŧȧŀŀ Ɋŭǿřṽȧƞḗ ƒřǿḿ īŧş ƥȧƈķȧɠḗ ŧǿ ŭşḗ ŧřŭşŧ ẇīƞḓǿẇş.⟫</translation>
        </message>
        <message>
            <source>Quick</source>
            <translation>⟪Ɋŭīƈķ⟫</translation>
        </message>
        <message>
            <source>Schedule</source>
            <translation>⟪Şƈħḗḓŭŀḗ⟫</translation>
        </message>
        <message>
            <source>Escalations are approved automatically between these times.</source>
            <translation>⟪Ḗşƈȧŀȧŧīǿƞş ȧřḗ ȧƥƥřǿṽḗḓ ȧŭŧǿḿȧŧīƈȧŀŀẏ ƀḗŧẇḗḗƞ ŧħḗşḗ ŧīḿḗş.⟫</translation>
        </message>
        <message>
            <source>Escalations are approved automatically for:</source>
            <translation>⟪Ḗşƈȧŀȧŧīǿƞş ȧřḗ ȧƥƥřǿṽḗḓ ȧŭŧǿḿȧŧīƈȧŀŀẏ ƒǿř:⟫</translation>
        </message>
        <message>
            <source>Trust windows are confirmed with your password, but Quorvane's system policy is not installed in %1. Installing it asks for administrator rights once.</source>
            <translation>⟪Ŧřŭşŧ ẇīƞḓǿẇş ȧřḗ ƈǿƞƒīřḿḗḓ ẇīŧħ ẏǿŭř ƥȧşşẇǿřḓ, ƀŭŧ Ɋŭǿřṽȧƞḗ'ş şẏşŧḗḿ ƥǿŀīƈẏ īş ƞǿŧ īƞşŧȧŀŀḗḓ īƞ %1. Īƞşŧȧŀŀīƞɠ īŧ ȧşķş ƒǿř ȧḓḿīƞīşŧřȧŧǿř řīɠħŧş ǿƞƈḗ.⟫</translation>
        </message>
        <message>
            <source>Installing...</source>
            <translation>⟪Īƞşŧȧŀŀīƞɠ...⟫</translation>
        </message>
        <message>
            <source>Install Policy</source>
            <translation>⟪Īƞşŧȧŀŀ Ƥǿŀīƈẏ⟫</translation>
        </message>
        <message>
            <source>Activating...</source>
            <translation>⟪Ȧƈŧīṽȧŧīƞɠ...⟫</translation>
        </message>
    </context>
    <context>
        <name>PendingRow</name>
        <message>
            <source>Explain this request</source>
            <translation>⟪Ḗẋƥŀȧīƞ ŧħīş řḗɋŭḗşŧ⟫</translation>
        </message>
        <message>
            <source>Generating explanation...</source>
            <translation>⟪Ɠḗƞḗřȧŧīƞɠ ḗẋƥŀȧƞȧŧīǿƞ...⟫</translation>
        </message>
        <message>
            <source>No explanation came for this request. Read the command before deciding.</source>
            <translation>⟪Ƞǿ ḗẋƥŀȧƞȧŧīǿƞ ƈȧḿḗ ƒǿř ŧħīş řḗɋŭḗşŧ. Řḗȧḓ ŧħḗ ƈǿḿḿȧƞḓ ƀḗƒǿřḗ ḓḗƈīḓīƞɠ.⟫</translation>
        </message>
        <message>
            <source>More details: %1</source>
            <translation>⟪Ḿǿřḗ ḓḗŧȧīŀş: %1⟫</translation>
        </message>
        <message>
            <source>Bypass escalations</source>
            <translation>⟪Ɓẏƥȧşş ḗşƈȧŀȧŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>More details</source>
            <translation>⟪Ḿǿřḗ ḓḗŧȧīŀş⟫</translation>
        </message>
    </context>
    <context>
        <name>PostureChooser</name>
        <message>
            <source>%1  ·  Recommended</source>
            <translation>⟪%1  ·  Řḗƈǿḿḿḗƞḓḗḓ⟫</translation>
        </message>
        <message>
            <source>Security posture: %1</source>
            <translation>⟪Şḗƈŭřīŧẏ ƥǿşŧŭřḗ: %1⟫</translation>
        </message>
    </context>
    <context>
        <name>PresenceConfirmer</name>
        <message>
            <source>Presence confirmation is not available</source>
            <translation>⟪Ƥřḗşḗƞƈḗ ƈǿƞƒīřḿȧŧīǿƞ īş ƞǿŧ ȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>QuitPrompt</name>
        <message>
            <source>Quorvane is a background security service</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ īş ȧ ƀȧƈķɠřǿŭƞḓ şḗƈŭřīŧẏ şḗřṽīƈḗ⟫</translation>
        </message>
        <message>
            <source>Quitting without uninstalling leaves behind config files, signing keys, and agent registrations.

To fully remove Quorvane, use the Uninstall button in the app.</source>
            <translation>⟪Ɋŭīŧŧīƞɠ ẇīŧħǿŭŧ ŭƞīƞşŧȧŀŀīƞɠ ŀḗȧṽḗş ƀḗħīƞḓ ƈǿƞƒīɠ ƒīŀḗş, şīɠƞīƞɠ ķḗẏş, ȧƞḓ ȧɠḗƞŧ řḗɠīşŧřȧŧīǿƞş.

Ŧǿ ƒŭŀŀẏ řḗḿǿṽḗ Ɋŭǿřṽȧƞḗ, ŭşḗ ŧħḗ Ŭƞīƞşŧȧŀŀ ƀŭŧŧǿƞ īƞ ŧħḗ ȧƥƥ.⟫</translation>
        </message>
        <message>
            <source>Open Uninstall</source>
            <translation>⟪Ǿƥḗƞ Ŭƞīƞşŧȧŀŀ⟫</translation>
        </message>
        <message>
            <source>Quit Anyway</source>
            <translation>⟪Ɋŭīŧ Ȧƞẏẇȧẏ⟫</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>⟪Ƈȧƞƈḗŀ⟫</translation>
        </message>
    </context>
    <context>
        <name>ReceiptHistoryModel</name>
        <message>
            <source>You chose: %1</source>
            <translation>⟪Ẏǿŭ ƈħǿşḗ: %1⟫</translation>
        </message>
        <message>
            <source>Approved</source>
            <translation>⟪Ȧƥƥřǿṽḗḓ⟫</translation>
        </message>
        <message>
            <source>Denied</source>
            <translation>⟪Ḓḗƞīḗḓ⟫</translation>
        </message>
        <message>
            <source>Trust window started</source>
            <translation>⟪Ŧřŭşŧ ẇīƞḓǿẇ şŧȧřŧḗḓ⟫</translation>
        </message>
        <message>
            <source>Trust window ended</source>
            <translation>⟪Ŧřŭşŧ ẇīƞḓǿẇ ḗƞḓḗḓ⟫</translation>
        </message>
        <message>
            <source>%1 · confirmed %2</source>
            <translation>⟪%1 · ƈǿƞƒīřḿḗḓ %2⟫</translation>
        </message>
        <message>
            <source>Already decided elsewhere · %1</source>
            <translation>⟪Ȧŀřḗȧḓẏ ḓḗƈīḓḗḓ ḗŀşḗẇħḗřḗ · %1⟫</translation>
        </message>
        <message>
            <source>Not recorded — the action was gone</source>
            <translation>⟪Ƞǿŧ řḗƈǿřḓḗḓ — ŧħḗ ȧƈŧīǿƞ ẇȧş ɠǿƞḗ⟫</translation>
        </message>
        <message>
            <source>Not recorded — the server refused it</source>
            <translation>⟪Ƞǿŧ řḗƈǿřḓḗḓ — ŧħḗ şḗřṽḗř řḗƒŭşḗḓ īŧ⟫</translation>
        </message>
        <message>
            <source>Not confirmed — the server never answered</source>
            <translation>⟪Ƞǿŧ ƈǿƞƒīřḿḗḓ — ŧħḗ şḗřṽḗř ƞḗṽḗř ȧƞşẇḗřḗḓ⟫</translation>
        </message>
        <message>
            <source>Not confirmed — the server had an error</source>
            <translation>⟪Ƞǿŧ ƈǿƞƒīřḿḗḓ — ŧħḗ şḗřṽḗř ħȧḓ ȧƞ ḗřřǿř⟫</translation>
        </message>
        <message>
            <source>accepted</source>
            <translation>⟪ȧƈƈḗƥŧḗḓ⟫</translation>
        </message>
        <message>
            <source>already decided</source>
            <translation>⟪ȧŀřḗȧḓẏ ḓḗƈīḓḗḓ⟫</translation>
        </message>
        <message>
            <source>action gone</source>
            <translation>⟪ȧƈŧīǿƞ ɠǿƞḗ⟫</translation>
        </message>
        <message>
            <source>refused</source>
            <translation>⟪řḗƒŭşḗḓ⟫</translation>
        </message>
        <message>
            <source>no answer</source>
            <translation>⟪ƞǿ ȧƞşẇḗř⟫</translation>
        </message>
        <message>
            <source>server error</source>
            <translation>⟪şḗřṽḗř ḗřřǿř⟫</translation>
        </message>
        <message>
            <source>Then: %1</source>
            <translation>⟪Ŧħḗƞ: %1⟫</translation>
        </message>
        <message>
            <source>A receipt could not be written (%1, %2): %3</source>
            <translation>⟪Ȧ řḗƈḗīƥŧ ƈǿŭŀḓ ƞǿŧ ƀḗ ẇřīŧŧḗƞ (%1, %2): %3⟫</translation>
        </message>
        <message>
            <source>verified</source>
            <translation>⟪ṽḗřīƒīḗḓ⟫</translation>
        </message>
        <message>
            <source>signature invalid</source>
            <translation>⟪şīɠƞȧŧŭřḗ īƞṽȧŀīḓ⟫</translation>
        </message>
        <message>
            <source>content mismatch</source>
            <translation>⟪ƈǿƞŧḗƞŧ ḿīşḿȧŧƈħ⟫</translation>
        </message>
        <message>
            <source>cut to fit the log, cannot be checked</source>
            <translation>⟪ƈŭŧ ŧǿ ƒīŧ ŧħḗ ŀǿɠ, ƈȧƞƞǿŧ ƀḗ ƈħḗƈķḗḓ⟫</translation>
        </message>
        <message>
            <source>no public key on this machine</source>
            <translation>⟪ƞǿ ƥŭƀŀīƈ ķḗẏ ǿƞ ŧħīş ḿȧƈħīƞḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>RemovalHeader</name>
        <message>
            <source>REMOVE AGENT</source>
            <translation>⟪ŘḖḾǾṼḖ ȦƓḖȠŦ⟫</translation>
        </message>
    </context>
    <context>
        <name>RuleScope</name>
        <message>
            <source>This Agent</source>
            <translation>⟪Ŧħīş Ȧɠḗƞŧ⟫</translation>
        </message>
        <message>
            <source>This Machine</source>
            <translation>⟪Ŧħīş Ḿȧƈħīƞḗ⟫</translation>
        </message>
        <message>
            <source>All Agents</source>
            <translation>⟪Ȧŀŀ Ȧɠḗƞŧş⟫</translation>
        </message>
    </context>
    <context>
        <name>RuleSection</name>
        <message>
            <source>Bypass escalations</source>
            <translation>⟪Ɓẏƥȧşş ḗşƈȧŀȧŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>SCOPE</source>
            <translation>⟪ŞƇǾƤḖ⟫</translation>
        </message>
        <message>
            <source>Scope</source>
            <translation>⟪Şƈǿƥḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>ScopeChoice</name>
        <message>
            <source>All projects</source>
            <translation>⟪Ȧŀŀ ƥřǿĵḗƈŧş⟫</translation>
        </message>
        <message>
            <source>Per-project</source>
            <translation>⟪Ƥḗř-ƥřǿĵḗƈŧ⟫</translation>
        </message>
        <message>
            <source>(single global policy)</source>
            <translation>⟪(şīƞɠŀḗ ɠŀǿƀȧŀ ƥǿŀīƈẏ)⟫</translation>
        </message>
        <message>
            <source>(separate agent per folder)</source>
            <translation>⟪(şḗƥȧřȧŧḗ ȧɠḗƞŧ ƥḗř ƒǿŀḓḗř)⟫</translation>
        </message>
    </context>
    <context>
        <name>SecurityPosture</name>
        <message>
            <source>Personal Assistant</source>
            <translation>⟪Ƥḗřşǿƞȧŀ Ȧşşīşŧȧƞŧ⟫</translation>
        </message>
        <message>
            <source>Permissive on reads and drafts. Strict on sending emails, posting, and external actions.</source>
            <translation>⟪Ƥḗřḿīşşīṽḗ ǿƞ řḗȧḓş ȧƞḓ ḓřȧƒŧş. Şŧřīƈŧ ǿƞ şḗƞḓīƞɠ ḗḿȧīŀş, ƥǿşŧīƞɠ, ȧƞḓ ḗẋŧḗřƞȧŀ ȧƈŧīǿƞş.⟫</translation>
        </message>
        <message>
            <source>Restrictive</source>
            <translation>⟪Řḗşŧřīƈŧīṽḗ⟫</translation>
        </message>
        <message>
            <source>Everything except reading files requires your approval.</source>
            <translation>⟪Ḗṽḗřẏŧħīƞɠ ḗẋƈḗƥŧ řḗȧḓīƞɠ ƒīŀḗş řḗɋŭīřḗş ẏǿŭř ȧƥƥřǿṽȧŀ.⟫</translation>
        </message>
        <message>
            <source>Developer Workstation</source>
            <translation>⟪Ḓḗṽḗŀǿƥḗř Ẇǿřķşŧȧŧīǿƞ⟫</translation>
        </message>
        <message>
            <source>Permissive on dev tools. Strict on deploy, publish, and install.</source>
            <translation>⟪Ƥḗřḿīşşīṽḗ ǿƞ ḓḗṽ ŧǿǿŀş. Şŧřīƈŧ ǿƞ ḓḗƥŀǿẏ, ƥŭƀŀīşħ, ȧƞḓ īƞşŧȧŀŀ.⟫</translation>
        </message>
    </context>
    <context>
        <name>SettingUpScreen</name>
        <message>
            <source>Setting up your agents</source>
            <translation>⟪Şḗŧŧīƞɠ ŭƥ ẏǿŭř ȧɠḗƞŧş⟫</translation>
        </message>
        <message>
            <source>Registering, linking, and configuring. No browser needed.</source>
            <translation>⟪Řḗɠīşŧḗřīƞɠ, ŀīƞķīƞɠ, ȧƞḓ ƈǿƞƒīɠŭřīƞɠ. Ƞǿ ƀřǿẇşḗř ƞḗḗḓḗḓ.⟫</translation>
        </message>
        <message>
            <source>Set-up progress</source>
            <translation>⟪Şḗŧ-ŭƥ ƥřǿɠřḗşş⟫</translation>
        </message>
        <message>
            <source>Privacy</source>
            <translation>⟪Ƥřīṽȧƈẏ⟫</translation>
        </message>
        <message>
            <source>Activity analysis runs locally. Only generalized rule suggestions are uploaded for your review.</source>
            <translation>⟪Ȧƈŧīṽīŧẏ ȧƞȧŀẏşīş řŭƞş ŀǿƈȧŀŀẏ. Ǿƞŀẏ ɠḗƞḗřȧŀīẑḗḓ řŭŀḗ şŭɠɠḗşŧīǿƞş ȧřḗ ŭƥŀǿȧḓḗḓ ƒǿř ẏǿŭř řḗṽīḗẇ.⟫</translation>
        </message>
        <message>
            <source>Skip &amp; Finish Setup</source>
            <translation>⟪Şķīƥ &amp; Ƒīƞīşħ Şḗŧŭƥ⟫</translation>
        </message>
    </context>
    <context>
        <name>SetupRun</name>
        <message>
            <source>The product tool is not available</source>
            <translation>⟪Ŧħḗ ƥřǿḓŭƈŧ ŧǿǿŀ īş ƞǿŧ ȧṽȧīŀȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source>AGENTS</source>
            <translation>⟪ȦƓḖȠŦŞ⟫</translation>
        </message>
        <message>
            <source>Registering agent %1 (global — all projects)</source>
            <translation>⟪Řḗɠīşŧḗřīƞɠ ȧɠḗƞŧ %1 (ɠŀǿƀȧŀ — ȧŀŀ ƥřǿĵḗƈŧş)⟫</translation>
        </message>
        <message>
            <source>Failed to register agent %1: %2</source>
            <translation>⟪Ƒȧīŀḗḓ ŧǿ řḗɠīşŧḗř ȧɠḗƞŧ %1: %2⟫</translation>
        </message>
        <message>
            <source>Failed: %1</source>
            <translation>⟪Ƒȧīŀḗḓ: %1⟫</translation>
        </message>
        <message>
            <source>Registered agent %1 (global — all projects)</source>
            <translation>⟪Řḗɠīşŧḗřḗḓ ȧɠḗƞŧ %1 (ɠŀǿƀȧŀ — ȧŀŀ ƥřǿĵḗƈŧş)⟫</translation>
        </message>
        <message>
            <source>Registering agent for %1</source>
            <translation>⟪Řḗɠīşŧḗřīƞɠ ȧɠḗƞŧ ƒǿř %1⟫</translation>
        </message>
        <message>
            <source>Registered agent for %1</source>
            <translation>⟪Řḗɠīşŧḗřḗḓ ȧɠḗƞŧ ƒǿř %1⟫</translation>
        </message>
        <message>
            <source>Failed: %1 — %2</source>
            <translation>⟪Ƒȧīŀḗḓ: %1 — %2⟫</translation>
        </message>
        <message>
            <source>global</source>
            <translation>⟪ɠŀǿƀȧŀ⟫</translation>
        </message>
        <message>
            <source>per-project</source>
            <translation>⟪ƥḗř-ƥřǿĵḗƈŧ⟫</translation>
        </message>
        <message>
            <source>account</source>
            <translation>⟪ȧƈƈǿŭƞŧ⟫</translation>
        </message>
        <message>
            <source>Linking %1 to %2</source>
            <translation>⟪Ŀīƞķīƞɠ %1 ŧǿ %2⟫</translation>
        </message>
        <message>
            <source>Linked %1 to %2</source>
            <translation>⟪Ŀīƞķḗḓ %1 ŧǿ %2⟫</translation>
        </message>
        <message>
            <source>Rules seeded from %1 template (%2 rules)</source>
            <translation>⟪Řŭŀḗş şḗḗḓḗḓ ƒřǿḿ %1 ŧḗḿƥŀȧŧḗ (%2 řŭŀḗş)⟫</translation>
        </message>
        <message>
            <source>Link failed: %1</source>
            <translation>⟪Ŀīƞķ ƒȧīŀḗḓ: %1⟫</translation>
        </message>
        <message>
            <source>Linking failed — link manually from dashboard</source>
            <translation>⟪Ŀīƞķīƞɠ ƒȧīŀḗḓ — ŀīƞķ ḿȧƞŭȧŀŀẏ ƒřǿḿ ḓȧşħƀǿȧřḓ⟫</translation>
        </message>
        <message>
            <source>Installing hook for %1</source>
            <translation>⟪Īƞşŧȧŀŀīƞɠ ħǿǿķ ƒǿř %1⟫</translation>
        </message>
        <message>
            <source>Hook installed for %1</source>
            <translation>⟪Ħǿǿķ īƞşŧȧŀŀḗḓ ƒǿř %1⟫</translation>
        </message>
        <message>
            <source>Complete!</source>
            <translation>⟪Ƈǿḿƥŀḗŧḗ!⟫</translation>
        </message>
        <message>
            <source>Almost there...</source>
            <translation>⟪Ȧŀḿǿşŧ ŧħḗřḗ...⟫</translation>
        </message>
        <message>
            <source>Configuring agents...</source>
            <translation>⟪Ƈǿƞƒīɠŭřīƞɠ ȧɠḗƞŧş...⟫</translation>
        </message>
        <message>
            <source>Registering...</source>
            <translation>⟪Řḗɠīşŧḗřīƞɠ...⟫</translation>
        </message>
    </context>
    <context>
        <name>ShownAction</name>
        <message>
            <source>Asked because this part is %1: %2</source>
            <translation>⟪Ȧşķḗḓ ƀḗƈȧŭşḗ ŧħīş ƥȧřŧ īş %1: %2⟫</translation>
        </message>
    </context>
    <context>
        <name>SignInScreen</name>
        <message>
            <source>Sign in to your account</source>
            <translation>⟪Şīɠƞ īƞ ŧǿ ẏǿŭř ȧƈƈǿŭƞŧ⟫</translation>
        </message>
        <message>
            <source>Connect your Google account to link your agents.</source>
            <translation>⟪Ƈǿƞƞḗƈŧ ẏǿŭř Ɠǿǿɠŀḗ ȧƈƈǿŭƞŧ ŧǿ ŀīƞķ ẏǿŭř ȧɠḗƞŧş.⟫</translation>
        </message>
        <message>
            <source>Waiting for the sign-in in your browser</source>
            <translation>⟪Ẇȧīŧīƞɠ ƒǿř ŧħḗ şīɠƞ-īƞ īƞ ẏǿŭř ƀřǿẇşḗř⟫</translation>
        </message>
        <message>
            <source>Opens the sign-in page in your browser · returns here automatically</source>
            <translation>⟪Ǿƥḗƞş ŧħḗ şīɠƞ-īƞ ƥȧɠḗ īƞ ẏǿŭř ƀřǿẇşḗř · řḗŧŭřƞş ħḗřḗ ȧŭŧǿḿȧŧīƈȧŀŀẏ⟫</translation>
        </message>
        <message>
            <source>Sign in with Google</source>
            <translation>⟪Şīɠƞ īƞ ẇīŧħ Ɠǿǿɠŀḗ⟫</translation>
        </message>
        <message>
            <source>Stop waiting</source>
            <translation>⟪Şŧǿƥ ẇȧīŧīƞɠ⟫</translation>
        </message>
    </context>
    <context>
        <name>StatusItemIcon</name>
        <message>
            <source>Quorvane (muted)</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ (ḿŭŧḗḓ)⟫</translation>
        </message>
        <message>
            <source>%1 —%2 pending</source>
            <translation>⟪%1 —%2 ƥḗƞḓīƞɠ⟫</translation>
        </message>
    </context>
    <context>
        <name>StepProgressBar</name>
        <message>
            <source>Step %1 of %2: %3</source>
            <translation>⟪Şŧḗƥ %1 ǿƒ %2: %3⟫</translation>
        </message>
    </context>
    <context>
        <name>ToolRow</name>
        <message>
            <source>Choose the scope of %1</source>
            <translation>⟪Ƈħǿǿşḗ ŧħḗ şƈǿƥḗ ǿƒ %1⟫</translation>
        </message>
        <message>
            <source>Detected</source>
            <translation>⟪Ḓḗŧḗƈŧḗḓ⟫</translation>
        </message>
        <message>
            <source>Govern %1</source>
            <translation>⟪Ɠǿṽḗřƞ %1⟫</translation>
        </message>
        <message>
            <source>inactive</source>
            <translation>⟪īƞȧƈŧīṽḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>ToolSection</name>
        <message>
            <source>Protect %1</source>
            <translation>⟪Ƥřǿŧḗƈŧ %1⟫</translation>
        </message>
        <message>
            <source>Hide scope of %1</source>
            <translation>⟪Ħīḓḗ şƈǿƥḗ ǿƒ %1⟫</translation>
        </message>
        <message>
            <source>Choose scope of %1</source>
            <translation>⟪Ƈħǿǿşḗ şƈǿƥḗ ǿƒ %1⟫</translation>
        </message>
        <message>
            <source>Allowlist projects folder</source>
            <translation>⟪Ȧŀŀǿẇŀīşŧ ƥřǿĵḗƈŧş ƒǿŀḓḗř⟫</translation>
        </message>
        <message>
            <source>path</source>
            <translation>⟪ƥȧŧħ⟫</translation>
        </message>
        <message>
            <source>Projects folder</source>
            <translation>⟪Ƥřǿĵḗƈŧş ƒǿŀḓḗř⟫</translation>
        </message>
    </context>
    <context>
        <name>TrayShell</name>
        <message>
            <source>Freeze all</source>
            <translation>⟪Ƒřḗḗẑḗ ȧŀŀ⟫</translation>
        </message>
        <message>
            <source>Resume Notifications</source>
            <translation>⟪Řḗşŭḿḗ Ƞǿŧīƒīƈȧŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>Pause Notifications</source>
            <translation>⟪Ƥȧŭşḗ Ƞǿŧīƒīƈȧŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>Open Quorvane</source>
            <translation>⟪Ǿƥḗƞ Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>Quit Quorvane</source>
            <translation>⟪Ɋŭīŧ Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>TrustWindowBanner</name>
        <message>
            <source>TRUST WINDOW</source>
            <translation>⟪ŦŘŬŞŦ ẆĪȠḒǾẆ⟫</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>⟪Ƈȧƞƈḗŀ⟫</translation>
        </message>
        <message>
            <source>Cancel the trust window</source>
            <translation>⟪Ƈȧƞƈḗŀ ŧħḗ ŧřŭşŧ ẇīƞḓǿẇ⟫</translation>
        </message>
    </context>
    <context>
        <name>TrustWindowState</name>
        <message>
            <source>Unknown error</source>
            <translation>⟪Ŭƞķƞǿẇƞ ḗřřǿř⟫</translation>
        </message>
        <message>
            <source>Choose a duration</source>
            <translation>⟪Ƈħǿǿşḗ ȧ ḓŭřȧŧīǿƞ⟫</translation>
        </message>
        <message>
            <source>Choose a start and an end</source>
            <translation>⟪Ƈħǿǿşḗ ȧ şŧȧřŧ ȧƞḓ ȧƞ ḗƞḓ⟫</translation>
        </message>
        <message>
            <source>The end must be after the start</source>
            <translation>⟪Ŧħḗ ḗƞḓ ḿŭşŧ ƀḗ ȧƒŧḗř ŧħḗ şŧȧřŧ⟫</translation>
        </message>
        <message>
            <source>The end must be in the future</source>
            <translation>⟪Ŧħḗ ḗƞḓ ḿŭşŧ ƀḗ īƞ ŧħḗ ƒŭŧŭřḗ⟫</translation>
        </message>
        <message>
            <source>Failed to sign request</source>
            <translation>⟪Ƒȧīŀḗḓ ŧǿ şīɠƞ řḗɋŭḗşŧ⟫</translation>
        </message>
        <message>
            <source>Trust window from %1 to %2</source>
            <translation>⟪Ŧřŭşŧ ẇīƞḓǿẇ ƒřǿḿ %1 ŧǿ %2⟫</translation>
        </message>
        <message>
            <source>Trust window for %1 minutes</source>
            <translation>⟪Ŧřŭşŧ ẇīƞḓǿẇ ƒǿř %1 ḿīƞŭŧḗş⟫</translation>
        </message>
        <message>
            <source>Trust window ended</source>
            <translation>⟪Ŧřŭşŧ ẇīƞḓǿẇ ḗƞḓḗḓ⟫</translation>
        </message>
        <message>
            <source>Quorvane did not confirm the end of the trust window (HTTP %1)</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ ḓīḓ ƞǿŧ ƈǿƞƒīřḿ ŧħḗ ḗƞḓ ǿƒ ŧħḗ ŧřŭşŧ ẇīƞḓǿẇ (ĦŦŦƤ %1)⟫</translation>
        </message>
        <message>
            <source>Couldn't reach Quorvane — the trust window may still be active</source>
            <translation>⟪Ƈǿŭŀḓƞ'ŧ řḗȧƈħ Ɋŭǿřṽȧƞḗ — ŧħḗ ŧřŭşŧ ẇīƞḓǿẇ ḿȧẏ şŧīŀŀ ƀḗ ȧƈŧīṽḗ⟫</translation>
        </message>
        <message>
            <source>ends %1</source>
            <translation>⟪ḗƞḓş %1⟫</translation>
        </message>
        <message>
            <source>Today</source>
            <translation>⟪Ŧǿḓȧẏ⟫</translation>
        </message>
        <message>
            <source>Tomorrow</source>
            <translation>⟪Ŧǿḿǿřřǿẇ⟫</translation>
        </message>
        <message>
            <source>%1m</source>
            <comment>minutes</comment>
            <translation>⟪%1ḿ⟫</translation>
        </message>
        <message>
            <source>%1h</source>
            <comment>hours</comment>
            <translation>⟪%1ħ⟫</translation>
        </message>
    </context>
    <context>
        <name>Uninstall</name>
        <message>
            <source>Could not remove machine from server — visit the web dashboard to clean up</source>
            <translation>⟪Ƈǿŭŀḓ ƞǿŧ řḗḿǿṽḗ ḿȧƈħīƞḗ ƒřǿḿ şḗřṽḗř — ṽīşīŧ ŧħḗ ẇḗƀ ḓȧşħƀǿȧřḓ ŧǿ ƈŀḗȧƞ ŭƥ⟫</translation>
        </message>
        <message>
            <source>Removed machine from server</source>
            <translation>⟪Řḗḿǿṽḗḓ ḿȧƈħīƞḗ ƒřǿḿ şḗřṽḗř⟫</translation>
        </message>
        <message>
            <source>Could not remove CLI binary at %1</source>
            <translation>⟪Ƈǿŭŀḓ ƞǿŧ řḗḿǿṽḗ ƇĿĪ ƀīƞȧřẏ ȧŧ %1⟫</translation>
        </message>
        <message>
            <source>Removed CLI binary</source>
            <translation>⟪Řḗḿǿṽḗḓ ƇĿĪ ƀīƞȧřẏ⟫</translation>
        </message>
        <message>
            <source>Could not remove local config at %1</source>
            <translation>⟪Ƈǿŭŀḓ ƞǿŧ řḗḿǿṽḗ ŀǿƈȧŀ ƈǿƞƒīɠ ȧŧ %1⟫</translation>
        </message>
        <message>
            <source>Removed local config and keys</source>
            <translation>⟪Řḗḿǿṽḗḓ ŀǿƈȧŀ ƈǿƞƒīɠ ȧƞḓ ķḗẏş⟫</translation>
        </message>
        <message>
            <source>Removed agent "%1"</source>
            <translation>⟪Řḗḿǿṽḗḓ ȧɠḗƞŧ "%1"⟫</translation>
        </message>
        <message>
            <source>Removal of "%1" was denied</source>
            <translation>⟪Řḗḿǿṽȧŀ ǿƒ "%1" ẇȧş ḓḗƞīḗḓ⟫</translation>
        </message>
        <message>
            <source>Removal of "%1" timed out waiting for approval</source>
            <translation>⟪Řḗḿǿṽȧŀ ǿƒ "%1" ŧīḿḗḓ ǿŭŧ ẇȧīŧīƞɠ ƒǿř ȧƥƥřǿṽȧŀ⟫</translation>
        </message>
        <message>
            <source>Removed agent "%1" locally (server was unreachable)</source>
            <translation>⟪Řḗḿǿṽḗḓ ȧɠḗƞŧ "%1" ŀǿƈȧŀŀẏ (şḗřṽḗř ẇȧş ŭƞřḗȧƈħȧƀŀḗ)⟫</translation>
        </message>
        <message>
            <source>Failed to remove agent "%1"</source>
            <translation>⟪Ƒȧīŀḗḓ ŧǿ řḗḿǿṽḗ ȧɠḗƞŧ "%1"⟫</translation>
        </message>
        <message>
            <source>The CLI at %1 belongs to the package %2: remove it with "sudo apt remove %2"</source>
            <translation>⟪Ŧħḗ ƇĿĪ ȧŧ %1 ƀḗŀǿƞɠş ŧǿ ŧħḗ ƥȧƈķȧɠḗ %2: řḗḿǿṽḗ īŧ ẇīŧħ "şŭḓǿ ȧƥŧ řḗḿǿṽḗ %2"⟫</translation>
        </message>
        <message>
            <source>Cleared 1 desktop registration</source>
            <translation>⟪Ƈŀḗȧřḗḓ 1 ḓḗşķŧǿƥ řḗɠīşŧřȧŧīǿƞ⟫</translation>
        </message>
        <message>
            <source>Cleared %1 desktop registrations</source>
            <translation>⟪Ƈŀḗȧřḗḓ %1 ḓḗşķŧǿƥ řḗɠīşŧřȧŧīǿƞş⟫</translation>
        </message>
        <message>
            <source>Unregistering %1 (%2/%3)...</source>
            <translation>⟪Ŭƞřḗɠīşŧḗřīƞɠ %1 (%2/%3)...⟫</translation>
        </message>
        <message>
            <source>Only local settings were removed. Visit the web dashboard to complete the process</source>
            <translation>⟪Ǿƞŀẏ ŀǿƈȧŀ şḗŧŧīƞɠş ẇḗřḗ řḗḿǿṽḗḓ. Ṽīşīŧ ŧħḗ ẇḗƀ ḓȧşħƀǿȧřḓ ŧǿ ƈǿḿƥŀḗŧḗ ŧħḗ ƥřǿƈḗşş⟫</translation>
        </message>
        <message>
            <source>Cleaning up...</source>
            <translation>⟪Ƈŀḗȧƞīƞɠ ŭƥ...⟫</translation>
        </message>
        <message>
            <source>Removed the machine's stored credentials</source>
            <translation>⟪Řḗḿǿṽḗḓ ŧħḗ ḿȧƈħīƞḗ'ş şŧǿřḗḓ ƈřḗḓḗƞŧīȧŀş⟫</translation>
        </message>
        <message>
            <source>Cleared preferences and notifications</source>
            <translation>⟪Ƈŀḗȧřḗḓ ƥřḗƒḗřḗƞƈḗş ȧƞḓ ƞǿŧīƒīƈȧŧīǿƞş⟫</translation>
        </message>
    </context>
    <context>
        <name>UninstallView</name>
        <message>
            <source>Quorvane Uninstalled</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ Ŭƞīƞşŧȧŀŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Skip</source>
            <translation>⟪Şķīƥ⟫</translation>
        </message>
        <message>
            <source>Delete App &amp; Quit</source>
            <translation>⟪Ḓḗŀḗŧḗ Ȧƥƥ &amp; Ɋŭīŧ⟫</translation>
        </message>
        <message>
            <source>Quit</source>
            <translation>⟪Ɋŭīŧ⟫</translation>
        </message>
    </context>
    <context>
        <name>UpdateBanner</name>
        <message>
            <source>Update</source>
            <translation>⟪Ŭƥḓȧŧḗ⟫</translation>
        </message>
    </context>
    <context>
        <name>UpdateBannerState</name>
        <message>
            <source>%1 · update it with your package manager</source>
            <translation>⟪%1 · ŭƥḓȧŧḗ īŧ ẇīŧħ ẏǿŭř ƥȧƈķȧɠḗ ḿȧƞȧɠḗř⟫</translation>
        </message>
    </context>
    <context>
        <name>UpdateCheckService</name>
        <message>
            <source>Update unavailable: this installation is managed by the system package manager</source>
            <translation>⟪Ŭƥḓȧŧḗ ŭƞȧṽȧīŀȧƀŀḗ: ŧħīş īƞşŧȧŀŀȧŧīǿƞ īş ḿȧƞȧɠḗḓ ƀẏ ŧħḗ şẏşŧḗḿ ƥȧƈķȧɠḗ ḿȧƞȧɠḗř⟫</translation>
        </message>
        <message>
            <source>Update unavailable: this installation cannot replace itself</source>
            <translation>⟪Ŭƥḓȧŧḗ ŭƞȧṽȧīŀȧƀŀḗ: ŧħīş īƞşŧȧŀŀȧŧīǿƞ ƈȧƞƞǿŧ řḗƥŀȧƈḗ īŧşḗŀƒ⟫</translation>
        </message>
        <message>
            <source>Update unavailable: the installation folder is not writable</source>
            <translation>⟪Ŭƥḓȧŧḗ ŭƞȧṽȧīŀȧƀŀḗ: ŧħḗ īƞşŧȧŀŀȧŧīǿƞ ƒǿŀḓḗř īş ƞǿŧ ẇřīŧȧƀŀḗ⟫</translation>
        </message>
        <message>
            <source>Update blocked: untrusted download source</source>
            <translation>⟪Ŭƥḓȧŧḗ ƀŀǿƈķḗḓ: ŭƞŧřŭşŧḗḓ ḓǿẇƞŀǿȧḓ şǿŭřƈḗ⟫</translation>
        </message>
        <message>
            <source>Update failed: %1</source>
            <translation>⟪Ŭƥḓȧŧḗ ƒȧīŀḗḓ: %1⟫</translation>
        </message>
        <message>
            <source>Update blocked: publisher signature check failed</source>
            <translation>⟪Ŭƥḓȧŧḗ ƀŀǿƈķḗḓ: ƥŭƀŀīşħḗř şīɠƞȧŧŭřḗ ƈħḗƈķ ƒȧīŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Update blocked: missing integrity hash</source>
            <translation>⟪Ŭƥḓȧŧḗ ƀŀǿƈķḗḓ: ḿīşşīƞɠ īƞŧḗɠřīŧẏ ħȧşħ⟫</translation>
        </message>
        <message>
            <source>Update failed: could not read download</source>
            <translation>⟪Ŭƥḓȧŧḗ ƒȧīŀḗḓ: ƈǿŭŀḓ ƞǿŧ řḗȧḓ ḓǿẇƞŀǿȧḓ⟫</translation>
        </message>
        <message>
            <source>Update blocked: integrity check failed</source>
            <translation>⟪Ŭƥḓȧŧḗ ƀŀǿƈķḗḓ: īƞŧḗɠřīŧẏ ƈħḗƈķ ƒȧīŀḗḓ⟫</translation>
        </message>
        <message>
            <source>Update blocked: the release is not the announced newer version</source>
            <translation>⟪Ŭƥḓȧŧḗ ƀŀǿƈķḗḓ: ŧħḗ řḗŀḗȧşḗ īş ƞǿŧ ŧħḗ ȧƞƞǿŭƞƈḗḓ ƞḗẇḗř ṽḗřşīǿƞ⟫</translation>
        </message>
        <message>
            <source>Update failed: could not launch installer</source>
            <translation>⟪Ŭƥḓȧŧḗ ƒȧīŀḗḓ: ƈǿŭŀḓ ƞǿŧ ŀȧŭƞƈħ īƞşŧȧŀŀḗř⟫</translation>
        </message>
    </context>
    <context>
        <name>WelcomeScreen</name>
        <message>
            <source>Quorvane</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>Welcome to Quorvane</source>
            <translation>⟪Ẇḗŀƈǿḿḗ ŧǿ Ɋŭǿřṽȧƞḗ⟫</translation>
        </message>
        <message>
            <source>Quorvane puts you in control of your AI tools. When an agent wants to do something risky, you approve it first.</source>
            <translation>⟪Ɋŭǿřṽȧƞḗ ƥŭŧş ẏǿŭ īƞ ƈǿƞŧřǿŀ ǿƒ ẏǿŭř ȦĪ ŧǿǿŀş. Ẇħḗƞ ȧƞ ȧɠḗƞŧ ẇȧƞŧş ŧǿ ḓǿ şǿḿḗŧħīƞɠ řīşķẏ, ẏǿŭ ȧƥƥřǿṽḗ īŧ ƒīřşŧ.⟫</translation>
        </message>
        <message>
            <source>Trust your AI.</source>
            <translation>⟪Ŧřŭşŧ ẏǿŭř ȦĪ.⟫</translation>
        </message>
        <message>
            <source>Verify</source>
            <translation>⟪Ṽḗřīƒẏ⟫</translation>
        </message>
        <message>
            <source> what matters.</source>
            <translation>⟪ ẇħȧŧ ḿȧŧŧḗřş.⟫</translation>
        </message>
        <message>
            <source>Get Started →</source>
            <translation>⟪Ɠḗŧ Şŧȧřŧḗḓ →⟫</translation>
        </message>
    </context>
    <context>
        <name>WizardState</name>
        <message>
            <source>Sign In</source>
            <translation>⟪Şīɠƞ Īƞ⟫</translation>
        </message>
        <message>
            <source>Install</source>
            <translation>⟪Īƞşŧȧŀŀ⟫</translation>
        </message>
        <message>
            <source>Configure</source>
            <translation>⟪Ƈǿƞƒīɠŭřḗ⟫</translation>
        </message>
        <message>
            <source>Setup</source>
            <translation>⟪Şḗŧŭƥ⟫</translation>
        </message>
        <message>
            <source>Done</source>
            <translation>⟪Ḓǿƞḗ⟫</translation>
        </message>
    </context>
</TS>
