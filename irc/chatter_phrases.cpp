#include "irc/chatter_phrases.h"

namespace larkspan::irc {

const char ChatterPhrases[kChatterPhraseCount][kChatterPhraseWidth] = {
    "Hello everyone!\r\n",
    "Good to see you all here.\r\n",
    "Anyone listening to something good right now?\r\n",
    "The recorder is humming along nicely.\r\n",
    "Hope your day is going well.\r\n",
    "Radio never sleeps, and neither do I.\r\n",
    "Fresh tape, fresh tunes.\r\n",
    "Who picked tonight's playlist? Nice work.\r\n",
    "Still here, still recording.\r\n",
    "Any requests for the next show?\r\n",
    "That last set was a good one.\r\n",
    "Keep the streams flowing!\r\n",
    "Greetings from the recording desk.\r\n",
    "Coffee break? The streams keep going.\r\n",
    "Nothing beats a live broadcast.\r\n",
    "Tuning in from somewhere on the dial.\r\n",
    "Thanks for hanging out in here.\r\n",
    "All quiet on the airwaves.\r\n",
    "Who else loves late night radio?\r\n",
    "Another day, another great show.\r\n",
    "Remember to stretch between shows.\r\n",
    "The archive keeps growing.\r\n",
    "Say hi if you are around!\r\n",
    "Good vibes only in this channel.\r\n",
    "Just checking in. Carry on!\r\n",
    "Music makes the hours fly by.\r\n",
    "Have you found any new stations lately?\r\n",
    "Signal is strong, spirits are high.\r\n",
    "Cheers, everyone!\r\n",
    "See you at the next broadcast.\r\n",
};

}  // namespace larkspan::irc
