<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>AccountSignIn</name>
    <message>
        <source>Could not open the web browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid authentication response</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid exchange URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Authentication failed. Please try again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ActionDetailView</name>
    <message>
        <source>Back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This will permanently unregister the agent and revoke all its permissions.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Agent details:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tool &amp; Command:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This action has expired</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ActivityAnalysis</name>
    <message>
        <source>Model download did not complete. Run analysis later from the Features panel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The product tool is not available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activity scan will start when the model is ready...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Analyzing activity... %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activity analysis failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activity analysis complete — %1 rule suggestions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activity analysis complete — no suggestions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model download in progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activity analysis in progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The model download will continue in the background. You can run the activity scan later from the Features panel, or via:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The activity scan is still running. If you close now it will stop.

You can re-run it later from the Features panel, or via:
%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AddAgentSheet</name>
    <message>
        <source>Add Agent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close the add-agent sheet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your agent is now governing your AI tools.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>agent name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>AI Tools</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select tools to govern. Expand to choose scope.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scanning for AI tools...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No AI tools found on this machine.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security Posture</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recommended</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Register Agent</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AddAgentState</name>
    <message>
        <source>Registering...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Linking...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Agent Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Machine Name</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AgentInfo</name>
    <message>
        <source>All projects</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AgentListSection</name>
    <message>
        <source>Agents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add an agent to start governing your AI tools.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Awaiting approval...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Agent</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AgentNameRules</name>
    <message>
        <source>Spaces are not allowed. Use hyphens instead.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use only lowercase letters, numbers, and hyphens (1–32 chars).</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ApprovalsPanel</name>
    <message>
        <source>The server refused this machine&apos;s identity. Open Quorvane and set this machine up again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Already decided: “%1” had a decision before this one arrived.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is gone: it expired or was withdrawn, so nothing was decided.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ApprovalsPanelView</name>
    <message>
        <source>Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paused: the popover does not open for new requests.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set up this machine again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No pending actions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pause</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CLIError</name>
    <message>
        <source>CLI exited with code %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CLI did not finish within %1 seconds</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CLIService</name>
    <message>
        <source>Admin setup failed: no administrator prompt available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin setup failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CommandSegmentRow</name>
    <message>
        <source>Highest risk, %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ConfigureScreen</name>
    <message>
        <source>Agent Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Machine Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A name for this project&apos;s agent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A name for this machine.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>AI Agents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>We found the following agents on your system. Expand to choose scope.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security Posture</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Baseline rules for what your agents can do without asking.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continue</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ConfirmationDialogs</name>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Last Agent?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This is the last agent on this machine. You can also remove your global rules from the server. You approve it in the Quorvane panel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove &amp; Keep Rules</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove &amp; Delete Rules</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Agent?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This will remove &quot;%1&quot; from this machine and the server. You approve it in the Quorvane panel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uninstall Quorvane?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This will remove Quorvane from this machine.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This will unregister 1 agent from the server and remove Quorvane from this machine. You approve it in the Quorvane panel. You can also remove your global rules.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This will unregister %1 agents from the server and remove Quorvane from this machine. You approve it in the Quorvane panel. You can also remove your global rules.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uninstall &amp; Keep Rules</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uninstall &amp; Delete Rules</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ConnectionStatus</name>
    <message>
        <source>Offline — retrying in %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Back online</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quorvane could not be reached (%1); the live connection is down too.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DashboardAttention</name>
    <message>
        <source>The server refused this machine&apos;s identity.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set up this machine again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paused: the popover does not open for new requests.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resume</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DashboardHeader</name>
    <message>
        <source>Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CLI v%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>v%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DashboardUpdateBanner</name>
    <message>
        <source>Downloading update... %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update Available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> · update it with your package manager</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DashboardView</name>
    <message>
        <source>System</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DateTimePicker</name>
    <message>
        <source>%1 day</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 hour</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 minute</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DecisionButtons</name>
    <message>
        <source>Approve</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deny</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DecisionStatusLine</name>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry the decision</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DependencyService</name>
    <message>
        <source>Download failed: bad status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ollama is not available for this machine&apos;s architecture (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download failed: another download is in progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download failed: invalid file name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download failed: no network access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not create a temporary folder in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid Ollama download URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ollama install blocked: this build pins no digest for it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ollama install blocked: the download does not match its pinned digest</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin setup failed: no administrator prompt available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ollama not found after install</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This build of Quorvane pins no digest for the Ollama engine, so it cannot install it</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DoneScreen</name>
    <message>
        <source>You&apos;re all set!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready to approve requests from your other machines.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quorvane is protecting your AI tools.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in as </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approval device — no local agents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 — %2 agent &quot;%3&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 template (%2 rules)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gemma 4 installed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gemma 4 downloading... </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gemma 4 download failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Review suggestions in the </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>web dashboard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download continues in the background</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You can close this window. Open Quorvane later to run the activity scan.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approve actions from this computer (password or fingerprint) or the </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quorvane iOS app</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EscalationNotice</name>
    <message>
        <source>%1 (%2): %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approval needed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An agent is waiting for your decision. Click to review it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Review</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deny</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approve</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Decision not sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your decision did not reach the server, so nothing was decided. Review it to try again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FeaturesSection</name>
    <message>
        <source>Features</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Local AI Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gemma 4 via Ollama</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Installed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download the local AI model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Installing…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Install</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Install the local AI model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not installed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activity Analysis</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scanning...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel the activity analysis</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Requires LLM</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-scan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-scan tool history</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MCP AI Summaries</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gemma 4 describes MCP actions before approval</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FreezeAll</name>
    <message>
        <source>Denied 1 action</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Denied %1 actions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 already decided elsewhere</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ended the trust window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was pending</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 action could not be denied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 actions could not be denied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the back-end did not confirm the end of the trust window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>. Failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the pending action</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>all %1 pending actions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deny %1, end any trust window and stop opening for new requests?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FreezeBar</name>
    <message>
        <source>Something looks wrong?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Freeze all</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Freeze all: deny every pending action and end the trust window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Freeze</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Freezing…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry the freeze</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dismiss the freeze report</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HelpLink</name>
    <message>
        <source>Need help? View setup guide</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HistoryView</name>
    <message>
        <source>History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Back to the dashboard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search commands, agents, tools</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search the history</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Denied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trust window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All agents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No decisions match.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> · rule: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>✓ signature verified</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check signature</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the signature of: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HomeState</name>
    <message>
        <source>Removal of &quot;%1&quot; failed or was denied.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan tool history for rule suggestions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 suggestion found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 suggestions found</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>InstallPhase</name>
    <message>
        <source>Installation failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1. You can install the local model later from the dashboard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ollama installer unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the product tool is unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Machine registration unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not signed in: sign in again to register this computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Machine registration left no usable identity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This computer has no machine identity; registration must succeed first</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>InstallScreen</name>
    <message>
        <source>Install Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>We&apos;ll set up everything needed to protect your AI tools.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your system may ask for permission during installation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Local AI Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Install Gemma 4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(optional)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>~3.6 GB · runs locally · Apache 2.0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gemma 4 runs privately on your computer to analyze your activity and suggest personalized security rules.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloads in the background while you continue setup.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ollama engine</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MCP Servers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Discover MCP Servers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Discover connected services so approval cards show what&apos;s being accessed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scans agent settings for installed MCP configuration. Only server names and basic metadata are collected.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approval Device Only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use this machine only to approve requests from agents on other machines.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quorvane command-line tool</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Secure key storage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Machine registration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Looking for AI tools on this computer…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Install &amp; Continue →</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LLMDownloadingPill</name>
    <message>
        <source>Gemma 4 downloading... </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LLMReadyPill</name>
    <message>
        <source>Gemma 4 ready</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LLMWarningView</name>
    <message>
        <source>Without Gemma 4, these features won&apos;t be available:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>• Smart rule suggestions based on your activity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>• Pattern detection across agent sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You can install later via quorvane download-model</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ModelRuntimeServer</name>
    <message>
        <source>Ollama server could not start: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove the local model service at %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopped and removed the local model service (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it ended with status %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ollama server did not answer on %1 within %2 s</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ModelRuntimeState</name>
    <message>
        <source>Available once the download finishes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download the local AI model first</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Needs the local AI model</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NameField</name>
    <message>
        <source>agent name</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PanelPresentation</name>
    <message>
        <source>Actions (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Actions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Expired</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1:%2 remaining</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 minute</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 second</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 seconds</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>high risk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>low risk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>expired</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Future %1 actions from %2 will be auto-approved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Future %1 actions from agents on %2 will be auto-approved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>this machine</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Future %1 actions from any agent will be auto-approved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Offline — trying to send the approval…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Offline — trying to send the denial…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sending approval…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sending denial…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn&apos;t sign the decision — it was not sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn&apos;t reach Quorvane — your decision was not recorded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quorvane had a problem (HTTP %1) — your decision was not recorded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quorvane refused the decision (HTTP %1) — it was not recorded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approve</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Agent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deny</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>every %1 action from %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>every %1 action from any agent on %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>every %1 action from any agent on any machine</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PauseTab</name>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>End</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This copy of Quorvane does not include the policy. Install Quorvane from its package to use trust windows.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quick</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Escalations are approved automatically between these times.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Escalations are approved automatically for:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trust windows are confirmed with your password, but Quorvane&apos;s system policy is not installed in %1. Installing it asks for administrator rights once.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Installing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Install Policy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activating...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PendingRow</name>
    <message>
        <source>Explain this request</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Generating explanation...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No explanation came for this request. Read the command before deciding.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>More details: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bypass escalations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>More details</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PostureChooser</name>
    <message>
        <source>%1  ·  Recommended</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security posture: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PresenceConfirmer</name>
    <message>
        <source>Presence confirmation is not available</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QuitPrompt</name>
    <message>
        <source>Quorvane is a background security service</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quitting without uninstalling leaves behind config files, signing keys, and agent registrations.

To fully remove Quorvane, use the Uninstall button in the app.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Uninstall</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Anyway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ReceiptHistoryModel</name>
    <message>
        <source>You chose: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Denied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trust window started</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trust window ended</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 · confirmed %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Already decided elsewhere · %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not recorded — the action was gone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not recorded — the server refused it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not confirmed — the server never answered</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not confirmed — the server had an error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>accepted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>already decided</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>action gone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no answer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>server error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Then: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A receipt could not be written (%1, %2): %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>verified</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>signature invalid</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>content mismatch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cut to fit the log, cannot be checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no public key on this machine</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RemovalHeader</name>
    <message>
        <source>REMOVE AGENT</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RuleScope</name>
    <message>
        <source>This Agent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This Machine</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Agents</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RuleSection</name>
    <message>
        <source>Bypass escalations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SCOPE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scope</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ScopeChoice</name>
    <message>
        <source>All projects</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Per-project</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(single global policy)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(separate agent per folder)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SecurityPosture</name>
    <message>
        <source>Personal Assistant</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Permissive on reads and drafts. Strict on sending emails, posting, and external actions.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restrictive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Everything except reading files requires your approval.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Developer Workstation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Permissive on dev tools. Strict on deploy, publish, and install.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SettingUpScreen</name>
    <message>
        <source>Setting up your agents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registering, linking, and configuring. No browser needed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set-up progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Privacy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activity analysis runs locally. Only generalized rule suggestions are uploaded for your review.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skip &amp; Finish Setup</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SetupRun</name>
    <message>
        <source>The product tool is not available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>AGENTS</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registering agent %1 (global — all projects)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to register agent %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registered agent %1 (global — all projects)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registering agent for %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registered agent for %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed: %1 — %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>global</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>per-project</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Linking %1 to %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Linked %1 to %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rules seeded from %1 template (%2 rules)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Link failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Linking failed — link manually from dashboard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Installing hook for %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hook installed for %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Complete!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Almost there...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Configuring agents...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registering...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShownAction</name>
    <message>
        <source>Asked because this part is %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SignInScreen</name>
    <message>
        <source>Sign in to your account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect your Google account to link your agents.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting for the sign-in in your browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opens the sign-in page in your browser · returns here automatically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in with Google</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop waiting</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusItemIcon</name>
    <message>
        <source>Quorvane (muted)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 —%2 pending</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StepProgressBar</name>
    <message>
        <source>Step %1 of %2: %3</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ToolRow</name>
    <message>
        <source>Choose the scope of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Detected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Govern %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>inactive</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ToolSection</name>
    <message>
        <source>Protect %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hide scope of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose scope of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Allowlist projects folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>path</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Projects folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrayShell</name>
    <message>
        <source>Freeze all</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resume Notifications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pause Notifications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrustWindowBanner</name>
    <message>
        <source>TRUST WINDOW</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel the trust window</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrustWindowState</name>
    <message>
        <source>Unknown error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a duration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a start and an end</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The end must be after the start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The end must be in the future</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to sign request</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trust window from %1 to %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trust window for %1 minutes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trust window ended</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quorvane did not confirm the end of the trust window (HTTP %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn&apos;t reach Quorvane — the trust window may still be active</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ends %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Today</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tomorrow</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1m</source>
        <comment>minutes</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1h</source>
        <comment>hours</comment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Uninstall</name>
    <message>
        <source>Could not remove machine from server — visit the web dashboard to clean up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removed machine from server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove CLI binary at %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removed CLI binary</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove local config at %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removed local config and keys</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removed agent &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removal of &quot;%1&quot; was denied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removal of &quot;%1&quot; timed out waiting for approval</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removed agent &quot;%1&quot; locally (server was unreachable)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to remove agent &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The CLI at %1 belongs to the package %2: remove it with &quot;sudo apt remove %2&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cleared 1 desktop registration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cleared %1 desktop registrations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unregistering %1 (%2/%3)...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Only local settings were removed. Visit the web dashboard to complete the process</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cleaning up...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removed the machine&apos;s stored credentials</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cleared preferences and notifications</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UninstallView</name>
    <message>
        <source>Quorvane Uninstalled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete App &amp; Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateBanner</name>
    <message>
        <source>Update</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateBannerState</name>
    <message>
        <source>%1 · update it with your package manager</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UpdateCheckService</name>
    <message>
        <source>Update unavailable: this installation is managed by the system package manager</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update unavailable: this installation cannot replace itself</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update unavailable: the installation folder is not writable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update blocked: untrusted download source</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update blocked: publisher signature check failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update blocked: missing integrity hash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update failed: could not read download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update blocked: integrity check failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update blocked: the release is not the announced newer version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update failed: could not launch installer</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WelcomeScreen</name>
    <message>
        <source>Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Welcome to Quorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quorvane puts you in control of your AI tools. When an agent wants to do something risky, you approve it first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trust your AI.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Verify</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> what matters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Get Started →</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WizardState</name>
    <message>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Install</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Configure</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
