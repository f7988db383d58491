<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="en_US">
<context>
    <name>pv::AddCardsCommand</name>
    <message numerus="yes">
        <source>Add %n card line(s)</source>
        <translation>
            <numerusform>Add %n card line</numerusform>
            <numerusform>Add %n card lines</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::AddCardsDialog</name>
    <message numerus="yes">
        <source>%1%2. %n card(s). Double-click a card to add it.</source>
        <translation>
            <numerusform>%1%2. %n card. Double-click a card to add it.</numerusform>
            <numerusform>%1%2. %n cards. Double-click a card to add it.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 - TCGdex lists %n card(s) for this set but holds no Japanese card data for it, so there is nothing to show.</source>
        <translation>
            <numerusform>%1 - TCGdex lists %n card for this set but holds no Japanese card data for it, so there is nothing to show.</numerusform>
            <numerusform>%1 - TCGdex lists %n cards for this set but holds no Japanese card data for it, so there is nothing to show.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Type at least %n character(s) of the name, or a card number.</source>
        <translation>
            <numerusform>Type at least %n character of the name, or a card number.</numerusform>
            <numerusform>Type at least %n characters of the name, or a card number.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n match(es). Double-click a card to add it.</source>
        <translation>
            <numerusform>%n match. Double-click a card to add it.</numerusform>
            <numerusform>%n matches. Double-click a card to add it.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Add %n card(s)</source>
        <translation>
            <numerusform>Add %n card</numerusform>
            <numerusform>Add %n cards</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::BinderDialog</name>
    <message numerus="yes">
        <source> (still looking up %n species)</source>
        <translation>
            <numerusform> (still looking up %n species)</numerusform>
            <numerusform> (still looking up %n species)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::BinderPageWidget</name>
    <message numerus="yes">
        <source>Owned: %n copy(s)</source>
        <translation>
            <numerusform>Owned: %n copy</numerusform>
            <numerusform>Owned: %n copies</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::CardCatalog</name>
    <message numerus="yes">
        <source>%n card(s) the errata supplies were added to the %1 catalog.</source>
        <translation>
            <numerusform>%n card the errata supplies were added to the %1 catalog.</numerusform>
            <numerusform>%n cards the errata supplies were added to the %1 catalog.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n card(s) named no set and were skipped.</source>
        <translation>
            <numerusform>%n card named no set and were skipped.</numerusform>
            <numerusform>%n cards named no set and were skipped.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n card(s) belong to a set the index does not list.</source>
        <translation>
            <numerusform>%n card belong to a set the index does not list.</numerusform>
            <numerusform>%n cards belong to a set the index does not list.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>updated %n minute(s) ago</source>
        <translation>
            <numerusform>updated %n minute ago</numerusform>
            <numerusform>updated %n minutes ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>updated %n hour(s) ago</source>
        <translation>
            <numerusform>updated %n hour ago</numerusform>
            <numerusform>updated %n hours ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>updated %n day(s) ago</source>
        <translation>
            <numerusform>updated %n day ago</numerusform>
            <numerusform>updated %n days ago</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::CollectionTreeModel</name>
    <message numerus="yes">
        <source>%n card(s)</source>
        <translation>
            <numerusform>%n card</numerusform>
            <numerusform>%n cards</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::LabelPreviewDialog</name>
    <message numerus="yes">
        <source>%n label(s) on %1 sheet(s) - %2</source>
        <translation>
            <numerusform>%n label on %1 sheet(s) - %2</numerusform>
            <numerusform>%n labels on %1 sheet(s) - %2</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::LogDialog</name>
    <message numerus="yes">
        <source>%n line(s)</source>
        <translation>
            <numerusform>%n line</numerusform>
            <numerusform>%n lines</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::MainWindow</name>
    <message numerus="yes">
        <source>%1 (%n warning(s) of this kind)</source>
        <translation>
            <numerusform>%1 (%n warning of this kind)</numerusform>
            <numerusform>%1 (%n warnings of this kind)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %n more (see Help &gt; Log)</source>
        <translation>
            <numerusform>... and %n more (see Help &gt; Log)</numerusform>
            <numerusform>... and %n more (see Help &gt; Log)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n card(s) in your collection. Double-click one to show it in the tree.</source>
        <translation>
            <numerusform>%n card in your collection. Double-click one to show it in the tree.</numerusform>
            <numerusform>%n cards in your collection. Double-click one to show it in the tree.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Type at least %n character(s) of the name, or a card number.</source>
        <translation>
            <numerusform>Type at least %n character of the name, or a card number.</numerusform>
            <numerusform>Type at least %n characters of the name, or a card number.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n match(es). Double-click a card to add it.</source>
        <translation>
            <numerusform>%n match. Double-click a card to add it.</numerusform>
            <numerusform>%n matches. Double-click a card to add it.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Recorded the finish of %n older row(s) from the card data.</source>
        <translation>
            <numerusform>Recorded the finish of %n older row from the card data.</numerusform>
            <numerusform>Recorded the finish of %n older rows from the card data.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Saved %1 (%n line(s))</source>
        <translation>
            <numerusform>Saved %1 (%n line)</numerusform>
            <numerusform>Saved %1 (%n lines)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n card(s)</source>
        <translation>
            <numerusform>%n card</numerusform>
            <numerusform>%n cards</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source> in %n line(s)</source>
        <translation>
            <numerusform> in %n line</numerusform>
            <numerusform> in %n lines</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n label(s) will fill %1 sheets. Continue?</source>
        <translation>
            <numerusform>%n label will fill %1 sheets. Continue?</numerusform><numerusform>%n labels will fill %1 sheets. Continue?</numerusform></translation>
    </message>
</context>
<context>
    <name>pv::NewBinderDialog</name>
    <message numerus="yes">
        <source>"%1" is built from %n rule(s), which this panel cannot show. It will be created as the template defines it.</source>
        <translation>
            <numerusform>"%1" is built from %n rule, which this panel cannot show. It will be created as the template defines it.</numerusform>
            <numerusform>"%1" is built from %n rules, which this panel cannot show. It will be created as the template defines it.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>"%1" covers %n species, which this panel cannot show. It will be created as the template defines it.</source>
        <translation>
            <numerusform>"%1" covers %n species, which this panel cannot show. It will be created as the template defines it.</numerusform>
            <numerusform>"%1" covers %n species, which this panel cannot show. It will be created as the template defines it.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Looking up %n species...</source>
        <translation>
            <numerusform>Looking up %n species...</numerusform>
            <numerusform>Looking up %n species...</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Matches %n card(s)</source>
        <translation>
            <numerusform>Matches %n card</numerusform>
            <numerusform>Matches %n cards</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>You own %n card(s) - fewer than the %1 this binder holds.</source>
        <translation>
            <numerusform>You own %n card - fewer than the %1 this binder holds.</numerusform>
            <numerusform>You own %n cards - fewer than the %1 this binder holds.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n of them have no price yet - refresh prices for the ranking to mean something.</source>
        <translation>
            <numerusform>%n of them have no price yet - refresh prices for the ranking to mean something.</numerusform>
            <numerusform>%n of them have no price yet - refresh prices for the ranking to mean something.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::PriceIndex</name>
    <message numerus="yes">
        <source>Fallback prices from TCGCSV (%1), %n card(s).</source>
        <translation>
            <numerusform>Fallback prices from TCGCSV (%1), %n card.</numerusform>
            <numerusform>Fallback prices from TCGCSV (%1), %n cards.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>pv::PriceRefresh</name>
    <message numerus="yes">
        <source>Price refresh started: %n distinct card(s).</source>
        <translation>
            <numerusform>Price refresh started: %n distinct card.</numerusform>
            <numerusform>Price refresh started: %n distinct cards.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Resolving TCGCSV fallback data for %n set(s).</source>
        <translation>
            <numerusform>Resolving TCGCSV fallback data for %n set.</numerusform>
            <numerusform>Resolving TCGCSV fallback data for %n sets.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Looking up fallback prices for %n set(s)...</source>
        <translation>
            <numerusform>Looking up fallback prices for %n set...</numerusform>
            <numerusform>Looking up fallback prices for %n sets...</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Priced %n card(s). Recorded this week's total.</source>
        <translation>
            <numerusform>Priced %n card. Recorded this week's total.</numerusform>
            <numerusform>Priced %n cards. Recorded this week's total.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n set(s) have no fallback prices available.</source>
        <translation>
            <numerusform>%n set has no fallback prices available.</numerusform>
            <numerusform>%n sets have no fallback prices available.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n more card(s) kept their stored prices.</source>
        <translation>
            <numerusform>%n more card kept its stored prices.</numerusform>
            <numerusform>%n more cards kept their stored prices.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>TCGCSV could not be reached for %n set(s); cards priced from TCGCSV kept their stored prices.</source>
        <translation>
            <numerusform>TCGCSV could not be reached for %n set; cards priced from TCGCSV kept their stored prices.</numerusform>
            <numerusform>TCGCSV could not be reached for %n sets; cards priced from TCGCSV kept their stored prices.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>TCGCSV answered with an error for %n set(s); cards priced from TCGCSV kept their stored prices.</source>
        <translation>
            <numerusform>TCGCSV answered with an error for %n set; cards priced from TCGCSV kept their stored prices.</numerusform>
            <numerusform>TCGCSV answered with an error for %n sets; cards priced from TCGCSV kept their stored prices.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>TCGCSV answered with data of the wrong shape for %n set(s); cards priced from TCGCSV kept their stored prices.</source>
        <translation>
            <numerusform>TCGCSV answered with data of the wrong shape for %n set; cards priced from TCGCSV kept their stored prices.</numerusform>
            <numerusform>TCGCSV answered with data of the wrong shape for %n sets; cards priced from TCGCSV kept their stored prices.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>TCGCSV answered with no prices for %n set(s); cards priced from TCGCSV kept their stored prices.</source>
        <translation>
            <numerusform>TCGCSV answered with no prices for %n set; cards priced from TCGCSV kept their stored prices.</numerusform>
            <numerusform>TCGCSV answered with no prices for %n sets; cards priced from TCGCSV kept their stored prices.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n card(s) kept older prices</source>
        <translation>
            <numerusform>%n card kept older prices</numerusform>
            <numerusform>%n cards kept older prices</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n of them came from TCGCSV's USD market prices.</source>
        <translation>
            <numerusform>%n of them came from TCGCSV's USD market prices.</numerusform><numerusform>%n of them came from TCGCSV's USD market prices.</numerusform></translation>
    </message>
</context>
<context>
    <name>pv::TcgdexClient</name>
    <message numerus="yes">
        <source>Cancelling %n outstanding request(s).</source>
        <translation>
            <numerusform>Cancelling %n outstanding request.</numerusform>
            <numerusform>Cancelling %n outstanding requests.</numerusform>
        </translation>
    </message>
</context>
</TS>