#pragma once
// The statistics of the analysis window as a grid of texts: a caption
// line, a header row of column titles and a title column, drawn by hand so
// that a refresh repaints only the cells whose text changed. (An item view
// repaints every cell through its delegate: at a dozen refreshes a second
// that alone cost several percent of a core.)

#include <QRawFont>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class QPainter;

class TStatsGrid : public QWidget {
public:
    TStatsGrid(const QStringList& rowTitles, int columns, QWidget* parent = nullptr);

    void SetCaption(const QString& text);
    QString Caption() const { return m_caption; }
    void SetColumn(int column, const QString& title, bool shown);
    bool ColumnShown(int column) const { return m_columns[std::size_t(column)].Shown; }
    void SetText(int row, int column, const QString& text);
    QString Text(int row, int column) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct TColumn {
        QString Title;
        bool Shown = true;
        std::vector<QString> Texts;
    };

    void Layout();
    // Text right-aligned in a cell.
    void DrawValue(QPainter& painter, const QRect& cell, const QString& text, bool bold) const;
    QRect CellRect(int row, int shownIndex) const;  // row -1: the header
    int ShownIndex(int column) const;

    QStringList m_rowTitles;
    std::vector<TColumn> m_columns;
    QString m_caption;
    QRawFont m_rawFont;
    QRawFont m_boldFont;
    int m_rowHeight = 0;
    int m_titleWidth = 0;
    int m_top = 0;  // below the caption
    int m_shown = 0;
};
